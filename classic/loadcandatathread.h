// The classic pages' load worker. It reads the classic CAN parameters that are
// queued on it and reports each one.
#pragma once

#include "classic/classicworker.h"

#include <QString>

class LoadCanDataThread : public ClassicWorker {
    Q_OBJECT
public:
    explicit LoadCanDataThread(QObject* parent = nullptr);

signals:
    void paramsLoaded();
    void paramLoaded(QString paramName);
    void paramsLoadingFail();
    void paramLoadingFail(QString message);
    void test(int num);
};
