// Timer and alarm layer: all time in the stack is a table of 32 alarms served by
// one timer thread sleeping on a one-shot monotonic deadline.
//
// Alarm callbacks run on the timer thread with the stack mutex held and may call
// any stack operation, scheduleAlarm and cancelAlarm included.
#pragma once

#include <cstdint>

struct CanOpenNode;

typedef void (*AlarmCallback)(CanOpenNode* node, uint32_t id);

enum { ALARM_SLOTS = 32 };
enum { ALARM_FREE = 0, ALARM_ARMED = 1, ALARM_DUE = 2, ALARM_DUE_PERIODIC = 3 };
#define ALARM_NEVER 0xFFFFFFFFu

struct AlarmEntry {
    uint8_t state;
    CanOpenNode* node;
    AlarmCallback callback;
    uint32_t id;
    uint32_t remaining; // ms, counted from the last timer wake
    uint32_t period;    // ms, 0 for one-shot
};

// Resets the alarm table and the next wake, notes the tick. Call before every
// timer loop start (reconnects included).
void initCanOpenTimer(void);
// Schedules the start-up callback at once and starts the timer thread.
void startCanOpenTimerLoop(AlarmCallback startup);
// Runs the exit callback under the stack mutex, then stops and joins the timer
// thread (bounded).
void stopCanOpenTimerLoop(AlarmCallback exitCallback);

// Slot index, or -1 when no slot is free or the callback is null.
int scheduleAlarm(CanOpenNode* node, uint32_t id, AlarmCallback callback, uint32_t delayMs, uint32_t periodMs);
// Frees the slot (-1 is ignored); always returns -1.
int cancelAlarm(int slot);
// Arms the one-shot deadline ms from now; -1 cancels it.
void armWaitableTimer(int32_t ms);
// ms since the last timer wake (wrapping tick difference).
uint32_t elapsedSinceLastAlarm(void);
// Ages the alarms, re-arms the deadline, runs the due callbacks. Timer thread,
// stack mutex held.
void dispatchAlarms(void);

// Introspection for tests and diagnostics.
const AlarmEntry* alarmSlot(int index);
int lastUsedAlarmSlot(void);
uint32_t nextAlarmWake(void);
// Notes "now" as the last wake; the timer thread does this before dispatching.
void noteAlarmWake(void);
