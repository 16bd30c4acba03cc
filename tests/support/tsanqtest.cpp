// QtTest runs a watchdog thread that it ends through Qt's own futex-based
// QThread::wait, which the thread checker cannot see; the watchdog's teardown
// then reads as a race between QtTest's two threads. Linked into a test, this
// silences exactly those reports and nothing of the code under test.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions()
{
    return "race:QWaitCondition::~QWaitCondition\n"
           "race:libQt5Test.so\n";
}
#endif
