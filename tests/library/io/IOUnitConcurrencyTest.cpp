// Readers, the polling thread delivering alerts, and listeners registering
// and unregistering, all at once. No listener may run after its
// unregistration has returned.
#include <atomic>
#include <thread>

#include "IOUnitFixture.h"

namespace {

class Guarded : public ISensorStateListener {
public:
    void OnSensorStateChange(unsigned long, unsigned long, unsigned long) override {
        if (gone.load()) {
            violations.fetch_add(1);
        }
        calls.fetch_add(1);
    }
    std::atomic<bool> gone{false};
    std::atomic<int> calls{0};
    static std::atomic<int> violations;
};
std::atomic<int> Guarded::violations{0};

TEST_F(IOUnitTest, NoListenerRunsAfterItsUnregistrationReturned) {
    SvcpUnfreezeTickCount();
    StartUnit(true);
    std::atomic<bool> stop{false};
    std::atomic<int> totalCalls{0};

    // The fan dips below its threshold and back: an alert per change.
    std::thread alerts([&] {
        bool low = false;
        while (!stop.load()) {
            low = !low;
            m_pServiceProcessor->SetReading(SensorKind::Fan, 0, low ? 100 : 2400);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&] {
            CSensorReading reading{};
            CLedReading led{};
            while (!stop.load()) {
                m_pUnit->ReadSensor(0x20000, reading);
                m_pUnit->ReadLed(0x40001, led);
            }
        });
    }
    std::vector<std::thread> registrars;
    for (int t = 0; t < 3; ++t) {
        registrars.emplace_back([&] {
            while (!stop.load()) {
                auto listener = std::make_unique<Guarded>();
                m_pUnit->RegisterSensorStateListener(listener.get());
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
                m_pUnit->UnregisterSensorStateListener(listener.get());
                listener->gone.store(true);
                totalCalls.fetch_add(listener->calls.load());
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                // Destroyed here: a late call would be a use after free.
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    stop.store(true);
    alerts.join();
    for (std::thread& thread : readers) {
        thread.join();
    }
    for (std::thread& thread : registrars) {
        thread.join();
    }
    EXPECT_EQ(Guarded::violations.load(), 0);
    EXPECT_GT(totalCalls.load(), 0);  // deliveries really overlapped the churn
}

}  // namespace
