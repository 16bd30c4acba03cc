// Reports the thread checker makes about Qt's own uninstrumented code, where it
// cannot see the synchronisation:
// - QtTest runs a watchdog thread that it ends through Qt's futex-based
//   QThread::wait; the watchdog's teardown reads as a race between QtTest's
//   two threads.
// - An implicitly shared QByteArray released by the out-of-line assignment in
//   Qt: the atomic reference count drops inside Qt, so the free that follows
//   looks unordered against another thread's release of its copy. The same
//   hand-over shows when a field is read from a copy of a parameter's value
//   that the load worker replaces meanwhile: the GUI thread frees the old
//   bytes, ordered after the worker's look at them only by that count.
// Linked into a test, this silences exactly those and nothing of our code.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions()
{
    return "race:QWaitCondition::~QWaitCondition\n"
           "race:libQt5Test.so\n"
           "race:QByteArray::operator=\n"
           "race:CustomParam::readField\n";
}
#endif
