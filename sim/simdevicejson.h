// Fills a simulated CANopen device from a JSON object table such as
// ConfigurationData/UiData/<device>/simdevice.json:
//   {"nodeId": 31, "objects": [{"index": "2100", "subindex": "0", "type": 7,
//     "value": "0180f401", "access": "rw", "rebootSilenceMs": 3000}, ...]}
// index and sub-index are hex text as the pages write them, type the CANopen
// data-type code, value the raw bytes in transfer order as hex, access rw, ro
// or wo; rebootSilenceMs makes a write to the object silence the device for
// that long before its boot-up.
#pragma once

#include "sim/simdevice.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

// The node id the table names (0 when it names none), or -1 with *error set.
inline int loadSimDeviceJson(const QString& path, SimCanDevice* device, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return -1;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(path + ": " + file.errorString());
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    if (!doc.isObject() || !doc.object().value("objects").isArray())
        return fail(path + ": no \"objects\" array");
    const QJsonArray objects = doc.object().value("objects").toArray();
    for (int i = 0; i < objects.size(); ++i) {
        const QJsonObject o = objects.at(i).toObject();
        bool okIndex = false, okSub = false;
        const uint index = o.value("index").toString().toUInt(&okIndex, 16);
        const uint sub = o.value("subindex").toString().toUInt(&okSub, 16);
        const int type = o.value("type").toInt(-1);
        const QString access = o.value("access").toString("rw");
        if (!okIndex || !okSub || index > 0xFFFF || sub > 0xFF || type < 0 || type > 0xFF)
            return fail(QString("%1: object %2 is malformed").arg(path).arg(i + 1));
        const SimCanDevice::Access mode = access == "ro" ? SimCanDevice::ReadOnly
            : access == "wo"                             ? SimCanDevice::WriteOnly
                                                         : SimCanDevice::ReadWrite;
        device->addObject(uint16_t(index), uint8_t(sub), uint8_t(type),
                          QByteArray::fromHex(o.value("value").toString().toLatin1()), mode);
        if (o.contains("rebootSilenceMs"))
            device->setRebootOnWrite(uint16_t(index), uint8_t(sub), o.value("rebootSilenceMs").toInt());
    }
    return doc.object().value("nodeId").toInt(0);
}
