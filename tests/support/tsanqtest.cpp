// Reports the thread checker makes about Qt's own uninstrumented code, where it
// cannot see the synchronisation: QtTest runs a watchdog thread that it ends
// through Qt's futex-based QThread::wait, and the watchdog's teardown reads as
// a race between QtTest's two threads. Linked into every test under the thread
// checker; it silences exactly that and nothing of our code.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions()
{
    return "race:QWaitCondition::~QWaitCondition\n"
           "race:libQt5Test.so\n";
}
#endif
