// The C interface's listener pairs against the loaded library and the test
// machine: the unregistration guarantee (a context may be freed once
// Unregister returns), and registration and unregistration racing with
// deliveries (run under the sanitizers).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "support/process/LoadedLibrary.h"
#include "LogControl.h"
#include "TestMachine.h"
#include "svcproc/api/svcproc_c.h"

namespace {

using svcpsim::SensorKind;
using Clock = std::chrono::steady_clock;

struct CFunctions {
    SVCP_RESULT (*Initialise)();
    SVCP_RESULT (*Register)(SVCP_SENSOR_STATE_CALLBACK, void*);
    SVCP_RESULT (*Unregister)(SVCP_SENSOR_STATE_CALLBACK, void*);
};

class CListeners : public ::testing::Test {
protected:
    void SetUp() override {
        LogSetLevel(0);
        m_Machine.Install();
        m_pLibrary = std::make_unique<LoadedLibrary>();
        m_pHandle = dlopen(SVCPROC_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(m_pHandle, nullptr);
        m_C.Initialise = reinterpret_cast<decltype(m_C.Initialise)>(
            dlsym(m_pHandle, "SvcpInitialiseServiceDriver"));
        m_C.Register = reinterpret_cast<decltype(m_C.Register)>(
            dlsym(m_pHandle, "SvcpRegisterSensorStateListener"));
        m_C.Unregister = reinterpret_cast<decltype(m_C.Unregister)>(
            dlsym(m_pHandle, "SvcpUnregisterSensorStateListener"));
        ASSERT_TRUE(m_C.Initialise && m_C.Register && m_C.Unregister);
        ASSERT_EQ(m_C.Initialise(), SVCP_SUCCESS);
    }
    void TearDown() override {
        if (m_pHandle != nullptr) {
            dlclose(m_pHandle);
        }
        m_pLibrary.reset();
    }

    // The chassis fan below its critical threshold and back: one alert
    // change each time.
    void ToggleFan() {
        m_bLow = !m_bLow;
        m_Machine.ServiceProcessor().SetReading(SensorKind::Fan, 1, m_bLow ? 300 : 1980);
    }

    TestMachine m_Machine;
    std::unique_ptr<LoadedLibrary> m_pLibrary;
    void* m_pHandle = nullptr;
    CFunctions m_C{};
    bool m_bLow = false;
};

// A context the callback writes into for a while: freed by the test as
// soon as Unregister returns, which the address sanitizer turns into a
// failure if the callback were still running or ran again.
struct SlowContext {
    std::atomic<bool> entered{false};
    std::atomic<bool> finished{false};
    std::atomic<int> calls{0};
};

void SVCP_CALL SlowCallback(void* context, SVCP_HANDLE, SVCP_UINT32, SVCP_UINT32) {
    auto* slow = static_cast<SlowContext*>(context);
    slow->calls.fetch_add(1);
    slow->entered.store(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    slow->finished.store(true);
}

TEST_F(CListeners, UnregisterWaitsForTheRunningCallbackSoTheContextMayBeFreed) {
    auto* context = new SlowContext;
    ASSERT_EQ(m_C.Register(SlowCallback, context), SVCP_SUCCESS);
    ToggleFan();
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!context->entered.load() && Clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_TRUE(context->entered.load());
    ASSERT_EQ(m_C.Unregister(SlowCallback, context), SVCP_SUCCESS);
    EXPECT_TRUE(context->finished.load()) << "Unregister returned while the callback ran";
    EXPECT_EQ(context->calls.load(), 1);
    delete context;
    // Further alerts reach no one.
    ToggleFan();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

struct CountingContext {
    std::atomic<int> calls{0};
};

void SVCP_CALL CountingCallback(void* context, SVCP_HANDLE, SVCP_UINT32, SVCP_UINT32) {
    static_cast<CountingContext*>(context)->calls.fetch_add(1);
}

TEST_F(CListeners, PairsComeAndGoOnSeveralThreadsWhileAlertsAreDelivered) {
    std::atomic<bool> stop{false};
    // Each worker registers a fresh context (sometimes twice), lets it hear
    // a little, unregisters it and frees it at once.
    auto worker = [&] {
        while (!stop.load()) {
            auto* context = new CountingContext;
            EXPECT_EQ(m_C.Register(CountingCallback, context), SVCP_SUCCESS);
            EXPECT_EQ(m_C.Register(CountingCallback, context), SVCP_SUCCESS);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            EXPECT_EQ(m_C.Unregister(CountingCallback, context), SVCP_SUCCESS);
            // Unregistering twice, as two owners might.
            EXPECT_EQ(m_C.Unregister(CountingCallback, context), SVCP_SUCCESS);
            delete context;
        }
    };
    CountingContext steady;
    ASSERT_EQ(m_C.Register(CountingCallback, &steady), SVCP_SUCCESS);
    std::vector<std::thread> workers;
    for (int i = 0; i < 3; ++i) {
        workers.emplace_back(worker);
    }
    // Each change is heard by the steady pair once, however often it is
    // registered.
    int changes = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (changes < 6 && Clock::now() < deadline) {
        ToggleFan();
        ++changes;
        while (steady.calls.load() < changes && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_EQ(m_C.Register(CountingCallback, &steady), SVCP_SUCCESS);
    }
    stop.store(true);
    for (std::thread& thread : workers) {
        thread.join();
    }
    EXPECT_EQ(m_C.Unregister(CountingCallback, &steady), SVCP_SUCCESS);
    EXPECT_EQ(steady.calls.load(), changes);
}

}  // namespace
