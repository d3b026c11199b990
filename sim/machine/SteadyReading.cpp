#include "SteadyReading.h"

#include <vector>

namespace svcpsim {
namespace {

std::optional<double> Middle(const std::optional<uint16_t>& low,
                             const std::optional<uint16_t>& high) {
    if (!low || !high || *low > *high) {
        return std::nullopt;
    }
    return (static_cast<double>(*low) + *high) / 2;
}

double Typical(SensorKind kind) {
    switch (kind) {
        case SensorKind::Voltage:
            return 3300;
        case SensorKind::Fan:
            return 2000;
        case SensorKind::Temperature:
            return 350;
    }
    return 0;
}

}  // namespace

double SteadyReading(SensorKind kind, const std::optional<uint16_t>& nominal,
                     const std::optional<uint16_t>& minimum, const std::optional<uint16_t>& maximum,
                     const ThresholdWords& thresholds) {
    // The tightest known bounds.
    std::optional<double> lower;
    std::optional<double> upper;
    for (size_t i : {kLowerNonCritical, kLowerCritical, kLowerNonRecoverable}) {
        if (thresholds[i] && (!lower || *thresholds[i] > *lower)) {
            lower = *thresholds[i];
        }
    }
    for (size_t i : {kUpperNonCritical, kUpperCritical, kUpperNonRecoverable}) {
        if (thresholds[i] && (!upper || *thresholds[i] < *upper)) {
            upper = *thresholds[i];
        }
    }
    auto inside = [&](double value) {
        return (!lower || value > *lower) && (!upper || value < *upper);
    };

    std::vector<std::optional<double>> candidates;
    if (nominal) {
        candidates.emplace_back(static_cast<double>(*nominal));
    }
    candidates.push_back(Middle(thresholds[kLowerNonCritical], thresholds[kUpperNonCritical]));
    candidates.push_back(Middle(thresholds[kLowerCritical], thresholds[kUpperCritical]));
    candidates.push_back(Middle(minimum, maximum));
    candidates.emplace_back(Typical(kind));
    for (const std::optional<double>& candidate : candidates) {
        if (candidate && inside(*candidate)) {
            return *candidate;
        }
    }
    if (upper) {
        return *upper * 0.9;
    }
    return *lower * 1.1 + 1;  // only a lower bound can have excluded the typical reading
}

}  // namespace svcpsim
