// Reports the thread checker makes about Qt's own uninstrumented code, where it
// cannot see the synchronisation: QtTest runs a watchdog thread that it ends
// through Qt's futex-based QThread::wait, and the watchdog's teardown reads as
// a race between QtTest's two threads. Qt's event queue is guarded the same
// way, so what Qt itself allocates or moves for a queued signal (its event,
// the copied arguments) reads as racing with the thread that takes it: the
// checker leaves alone what the C library does on behalf of Qt's libraries,
// and still sees every access compiled into our code. Linked into every test
// under the thread checker; it silences that and nothing of our code.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions()
{
    return "race:QWaitCondition::~QWaitCondition\n"
           "race:libQt5Test.so\n";
}

extern "C" const char* __tsan_default_options()
{
    return "ignore_noninstrumented_modules=1";
}
#endif
