// Planned failures of platform calls, for tests.
#include <atomic>
#include <mutex>

#include "platform_seams.h"

namespace {

struct FailurePlan {
    uint32_t code = 0;
    unsigned count = 0;
    unsigned skip = 0;
};

constexpr int kCalls = static_cast<int>(SvcpCall::Count_);

struct Plans {
    std::mutex lock;
    FailurePlan plans[kCalls];
};

Plans& GetPlans() {
    static Plans* plans = new Plans();
    return *plans;
}

// Calls check this first, so that no plan costs no lock.
std::atomic<int> g_activePlans{0};

}  // namespace

void SvcpFailCalls(SvcpCall call, uint32_t code, unsigned count, unsigned skip) {
    const int index = static_cast<int>(call);
    if (index < 0 || index >= kCalls) {
        return;
    }
    Plans& plans = GetPlans();
    std::lock_guard<std::mutex> guard(plans.lock);
    FailurePlan& plan = plans.plans[index];
    if (plan.count != 0) {
        g_activePlans.fetch_sub(1);
    }
    plan = FailurePlan{code, count, skip};
    if (count != 0) {
        g_activePlans.fetch_add(1);
    }
}

void SvcpClearFailures() {
    Plans& plans = GetPlans();
    std::lock_guard<std::mutex> guard(plans.lock);
    for (FailurePlan& plan : plans.plans) {
        plan = FailurePlan{};
    }
    g_activePlans.store(0);
}

bool SvcpTakeFailure(SvcpCall call, uint32_t* code) {
    const int index = static_cast<int>(call);
    if (g_activePlans.load() == 0 || index < 0 || index >= kCalls) {
        return false;
    }
    Plans& plans = GetPlans();
    std::lock_guard<std::mutex> guard(plans.lock);
    FailurePlan& plan = plans.plans[index];
    if (plan.count == 0) {
        return false;
    }
    if (plan.skip != 0) {
        --plan.skip;
        return false;
    }
    if (code != nullptr) {
        *code = plan.code;
    }
    if (--plan.count == 0) {
        g_activePlans.fetch_sub(1);
    }
    return true;
}
