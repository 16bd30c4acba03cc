#include "canopen/timer.h"

#include "canopen/port.h"
#include "platform/boundedthread.h"
#include "platform/oneshottimer.h"
#include "platform/tick.h"

#include <atomic>

namespace {
AlarmEntry alarms[ALARM_SLOTS];
int16_t lastUsedSlot = -1;
uint32_t nextWake = ALARM_NEVER;
std::atomic<uint32_t> lastWakeTick{0};

OneShotTimer waitableTimer;
BoundedThread timerThread;
std::atomic<bool> timerStop{false};
AlarmCallback startupCallback = nullptr;

void canOpenTimerThread()
{
    while (!timerStop.load()) {
        if (!waitableTimer.wait())
            break;
        if (timerStop.load())
            break;
        CanOpenLock lock;
        noteAlarmWake();
        dispatchAlarms();
    }
}
}

void initCanOpenTimer(void)
{
    CanOpenLock lock;
    for (AlarmEntry& a : alarms)
        a = AlarmEntry{ALARM_FREE, nullptr, nullptr, 0, 0, 0};
    lastUsedSlot = -1;
    nextWake = ALARM_NEVER;
    waitableTimer.cancel();
    noteAlarmWake();
}

void startCanOpenTimerLoop(AlarmCallback startup)
{
    timerStop.store(false);
    waitableTimer.clearStop();
    {
        CanOpenLock lock;
        startupCallback = startup;
        scheduleAlarm(nullptr, 0, startup, 0, 0);
    }
    timerThread.start(canOpenTimerThread, "can-timer");
}

void stopCanOpenTimerLoop(AlarmCallback exitCallback)
{
    {
        CanOpenLock lock;
        if (exitCallback)
            exitCallback(nullptr, 0);
    }
    timerStop.store(true);
    waitableTimer.stop();
    timerThread.join(1000);
}

int scheduleAlarm(CanOpenNode* node, uint32_t id, AlarmCallback callback, uint32_t delayMs, uint32_t periodMs)
{
    if (!callback)
        return -1;
    CanOpenLock lock;
    for (int i = 0; i <= lastUsedSlot + 1 && i < ALARM_SLOTS; ++i) {
        if (alarms[i].state != ALARM_FREE)
            continue;
        if (i == lastUsedSlot + 1)
            lastUsedSlot = int16_t(i);
        const uint32_t elapsed = elapsedSinceLastAlarm();
        if (nextWake > elapsed && nextWake - elapsed > delayMs) {
            nextWake = elapsed + delayMs;
            armWaitableTimer(int32_t(delayMs));
        }
        AlarmEntry& a = alarms[i];
        a.callback = callback;
        a.node = node;
        a.id = id;
        a.remaining = delayMs + elapsed;
        a.period = periodMs;
        a.state = ALARM_ARMED;
        return i;
    }
    return -1;
}

int cancelAlarm(int slot)
{
    if (slot < 0 || slot >= ALARM_SLOTS)
        return -1;
    CanOpenLock lock;
    if (slot == lastUsedSlot)
        --lastUsedSlot;
    alarms[slot].state = ALARM_FREE;
    return -1;
}

void armWaitableTimer(int32_t ms)
{
    if (ms < 0)
        waitableTimer.cancel();
    else
        waitableTimer.arm(uint32_t(ms));
}

uint32_t elapsedSinceLastAlarm(void)
{
    return platformTickMs() - lastWakeTick.load();
}

void noteAlarmWake(void)
{
    lastWakeTick.store(platformTickMs());
}

void dispatchAlarms(void)
{
    CanOpenLock lock;
    const uint32_t overrun = elapsedSinceLastAlarm();
    // Nothing armed means nothing to age; keep the sum from wrapping.
    const uint64_t sleptWide = nextWake == ALARM_NEVER ? 0 : uint64_t(nextWake) + overrun;
    const uint32_t slept = sleptWide > 0xFFFFFFFEu ? 0xFFFFFFFEu : uint32_t(sleptWide);
    uint32_t soonest = ALARM_NEVER;
    for (int i = 0; i <= lastUsedSlot; ++i) {
        AlarmEntry& a = alarms[i];
        if (!(a.state & ALARM_ARMED))
            continue;
        if (a.remaining > slept) {
            a.remaining -= slept;
        } else if (a.period == 0) {
            a.state = ALARM_DUE;
            continue;
        } else {
            a.state = ALARM_DUE_PERIODIC;
            a.remaining = a.period - (overrun % a.period);
        }
        if (a.remaining < soonest)
            soonest = a.remaining;
    }
    nextWake = soonest;
    armWaitableTimer(soonest == ALARM_NEVER ? -1 : int32_t(soonest > 0x7FFFFFFF ? 0x7FFFFFFF : soonest));
    // Re-read the bound each step: callbacks may add alarms.
    for (int i = 0; i <= lastUsedSlot; ++i) {
        AlarmEntry& a = alarms[i];
        if (!(a.state & ALARM_DUE))
            continue;
        a.state &= uint8_t(~ALARM_DUE);
        a.callback(a.node, a.id);
    }
}

const AlarmEntry* alarmSlot(int index)
{
    return (index >= 0 && index < ALARM_SLOTS) ? &alarms[index] : nullptr;
}

int lastUsedAlarmSlot(void)
{
    return lastUsedSlot;
}

uint32_t nextAlarmWake(void)
{
    return nextWake;
}
