// The classic pages' save worker. It writes the classic CAN parameters queued
// on it and reports each write.
#pragma once

#include "classic/classicworker.h"

#include <QString>

class SaveCanDataThread : public ClassicWorker {
    Q_OBJECT
public:
    explicit SaveCanDataThread(QObject* parent = nullptr);

signals:
    void paramSavingFail(QString paramName, QString reason);
    void paramSavingSuccess(QString paramName);
};
