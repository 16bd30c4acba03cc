#include "classic/loadcandatathread.h"

LoadCanDataThread::LoadCanDataThread(QObject* parent) : ClassicWorker(parent) {}
