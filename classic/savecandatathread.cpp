#include "classic/savecandatathread.h"

SaveCanDataThread::SaveCanDataThread(QObject* parent) : ClassicWorker(parent) {}
