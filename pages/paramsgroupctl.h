#pragma once

#include <QObject>

// Fans read, save and cancel requests out to the parameter controllers of one group.
// Keeps no list of its parameters and collects no completions.
class ParamsGroupCtl : public QObject
{
    Q_OBJECT
public:
    explicit ParamsGroupCtl(QObject *parent = nullptr) : QObject(parent) {}

signals:
    void startSave();
    void startRead();
    void startImport();
    void signalCancelEditing();

public slots:
    void read() { emit startRead(); }
    void write() { emit startSave(); }
    void import() { emit startImport(); }
    void executeScript() {}
    void slotCancelEditing() { emit signalCancelEditing(); }
};
