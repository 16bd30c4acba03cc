#pragma once

#include <QObject>

// Tells listeners that the main window's own CAN link came up or went down.
class ConnectionAdapter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void notifyConnected() { emit connected(); }
    void notifyDisconnected() { emit disconnected(); }

signals:
    void connected();
    void disconnected();
};
