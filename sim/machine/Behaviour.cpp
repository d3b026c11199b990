#include "Behaviour.h"

namespace svcpsim {
namespace {

// The value under one step, `start` being the value at the step's time.
double UnderStep(const ScriptStep& step, double start, double seconds) {
    if (step.ramp <= 0 || seconds >= step.at + step.ramp) {
        return step.value;
    }
    return start + (step.value - start) * (seconds - step.at) / step.ramp;
}

}  // namespace

double ScriptedValue(const Behaviour& behaviour, double seconds) {
    double start = behaviour.base;  // the value when the current step began
    const ScriptStep* current = nullptr;
    for (const ScriptStep& step : behaviour.script) {
        if (step.at > seconds) {
            break;
        }
        if (current != nullptr) {
            start = UnderStep(*current, start, step.at);
        }
        current = &step;
    }
    return current == nullptr ? behaviour.base : UnderStep(*current, start, seconds);
}

}  // namespace svcpsim
