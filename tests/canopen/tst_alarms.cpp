#include "canopen/port.h"
#include "canopen/timer.h"
#include "platform/tick.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

namespace {
std::atomic<uint32_t> fakeNow{1000};
uint32_t fakeTick() { return fakeNow.load(); }

std::vector<uint32_t> fired;
void record(CanOpenNode*, uint32_t id) { fired.push_back(id); }

int rescheduled = -1;
void rescheduleSelf(CanOpenNode* node, uint32_t id)
{
    fired.push_back(id);
    if (id < 3)
        rescheduled = scheduleAlarm(node, id + 1, rescheduleSelf, 0, 0);
}

// One timer wake as the timer thread does it, after `ms` on the fake clock.
void wakeAfter(uint32_t ms, uint32_t lateMs = 0)
{
    fakeNow += ms;
    CanOpenLock lock;
    noteAlarmWake();
    fakeNow += lateMs;
    dispatchAlarms();
}

using Clock = std::chrono::steady_clock;
std::vector<Clock::time_point> realFires;
std::mutex realMutex;
void realFire(CanOpenNode*, uint32_t)
{
    std::lock_guard<std::mutex> lock(realMutex);
    realFires.push_back(Clock::now());
}
size_t realFireCount()
{
    std::lock_guard<std::mutex> lock(realMutex);
    return realFires.size();
}
}

class TstAlarms : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        setPlatformTickSource(fakeTick);
        initCanOpenTimer();
        fired.clear();
    }
    void cleanupTestCase() { setPlatformTickSource(nullptr); }

    void zeroDelayRunsAtNextWake()
    {
        QCOMPARE(nextAlarmWake(), ALARM_NEVER);
        QCOMPARE(scheduleAlarm(nullptr, 7, record, 0, 0), 0);
        QCOMPARE(nextAlarmWake(), 0u);
        wakeAfter(0);
        QCOMPARE(fired, std::vector<uint32_t>{7});
        QCOMPARE(int(alarmSlot(0)->state), int(ALARM_FREE));
        QCOMPARE(nextAlarmWake(), ALARM_NEVER);
    }

    void oneShotsRunInDeadlineOrder()
    {
        scheduleAlarm(nullptr, 30, record, 30, 0);
        scheduleAlarm(nullptr, 10, record, 10, 0);
        scheduleAlarm(nullptr, 20, record, 20, 0);
        QCOMPARE(nextAlarmWake(), 10u);
        wakeAfter(10);
        QCOMPARE(fired, std::vector<uint32_t>{10});
        QCOMPARE(nextAlarmWake(), 10u);
        wakeAfter(10);
        wakeAfter(10);
        QCOMPARE(fired, (std::vector<uint32_t>{10, 20, 30}));
    }

    // The next remaining time of a due periodic alarm is its period less the
    // time that passed between the wake and the dispatch.
    void periodKeepsItsPhase_data()
    {
        QTest::addColumn<int>("late");
        QTest::addColumn<int>("remaining");
        QTest::newRow("same millisecond") << 0 << 50;
        QTest::newRow("3 ms late") << 3 << 47;
        QTest::newRow("more than a period late") << 53 << 47;
    }
    void periodKeepsItsPhase()
    {
        QFETCH(int, late);
        QFETCH(int, remaining);
        const int slot = scheduleAlarm(nullptr, 1, record, 50, 50);
        wakeAfter(50, uint32_t(late));
        QCOMPARE(fired.size(), size_t(1));
        QCOMPARE(int(alarmSlot(slot)->state), int(ALARM_ARMED));
        QCOMPARE(int(alarmSlot(slot)->remaining), remaining);
        QCOMPARE(int(nextAlarmWake()), remaining);
        cancelAlarm(slot);
    }

    void tableIsBoundedAndSlotsAreReused()
    {
        int taken[ALARM_SLOTS];
        for (int i = 0; i < ALARM_SLOTS; ++i)
            QCOMPARE(taken[i] = scheduleAlarm(nullptr, uint32_t(i), record, 100, 0), i);
        QCOMPARE(scheduleAlarm(nullptr, 99, record, 100, 0), -1);
        QCOMPARE(scheduleAlarm(nullptr, 99, nullptr, 100, 0), -1);

        // Cancelling the last slot lowers the bound by one only; freed slots
        // below stay in the scan and are taken first.
        QCOMPARE(cancelAlarm(taken[5]), -1);
        QCOMPARE(cancelAlarm(taken[31]), -1);
        QCOMPARE(lastUsedAlarmSlot(), 30);
        QCOMPARE(scheduleAlarm(nullptr, 5, record, 100, 0), 5);
        QCOMPARE(scheduleAlarm(nullptr, 31, record, 100, 0), 31);
        QCOMPARE(cancelAlarm(-1), -1);

        // A cancelled alarm never runs.
        cancelAlarm(7);
        wakeAfter(100);
        QCOMPARE(fired.size(), size_t(ALARM_SLOTS - 1));
        QVERIFY(std::find(fired.begin(), fired.end(), 7u) == fired.end());
    }

    void callbacksMayScheduleAgain()
    {
        scheduleAlarm(nullptr, 1, rescheduleSelf, 5, 0);
        wakeAfter(5);
        // An alarm added by a callback is armed for the next wake, not run in
        // the pass that added it.
        QCOMPARE(fired, (std::vector<uint32_t>{1}));
        QCOMPARE(nextAlarmWake(), 0u);
        wakeAfter(0);
        wakeAfter(0);
        QCOMPARE(fired, (std::vector<uint32_t>{1, 2, 3}));
    }

    void initForgetsEverything()
    {
        scheduleAlarm(nullptr, 1, record, 100, 0);
        scheduleAlarm(nullptr, 2, record, 200, 10);
        initCanOpenTimer();
        QCOMPARE(lastUsedAlarmSlot(), -1);
        QCOMPARE(nextAlarmWake(), ALARM_NEVER);
        // The start-up alarm of a new connection is armed at once.
        QCOMPARE(scheduleAlarm(nullptr, 3, record, 0, 0), 0);
        QCOMPARE(nextAlarmWake(), 0u);
    }

    void realTimerNeverFiresEarly()
    {
        setPlatformTickSource(nullptr);
        initCanOpenTimer();
        realFires.clear();
        const auto start = Clock::now();
        startCanOpenTimerLoop(realFire);
        {
            CanOpenLock lock;
            scheduleAlarm(nullptr, 1, realFire, 30, 0);
            scheduleAlarm(nullptr, 2, realFire, 60, 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(realFireCount(), size_t(3), 2000);
        static std::atomic<bool> exitRan{false};
        stopCanOpenTimerLoop([](CanOpenNode* node, uint32_t id) { exitRan = node == nullptr && id == 0; });
        QVERIFY(exitRan.load());
        using std::chrono::milliseconds;
        QVERIFY(realFires[1] - start >= milliseconds(30));
        QVERIFY(realFires[2] - start >= milliseconds(60));
        QVERIFY(realFires[2] - start < milliseconds(1000));
        setPlatformTickSource(fakeTick);
    }
};

QTEST_GUILESS_MAIN(TstAlarms)
#include "tst_alarms.moc"
