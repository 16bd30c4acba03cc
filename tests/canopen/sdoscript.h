// Frame scripts for SDO tests: "> 620 40 00 10 00 00 00 00 00" expects the
// node to have sent that frame next, "< 5A0 43 ..." hands a frame to the node,
// "+ 3000" lets time pass on the bus's fake clock.
#pragma once

#include "testbus.h"

#include <QStringList>
#include <QTest>

#include <deque>

inline QString frameText(const CanFrame& f)
{
    QString s = QString::asprintf("%03X", f.id);
    for (int i = 0; i < f.len; ++i)
        s += QString::asprintf(" %02X", f.data[i]);
    return s;
}

inline CanFrame parseFrame(const QString& text)
{
    const QStringList parts = text.split(' ', Qt::SkipEmptyParts);
    CanFrame f;
    f.id = uint16_t(parts.value(0).toUInt(nullptr, 16));
    f.len = uint8_t(qMin(8, parts.size() - 1));
    for (int i = 0; i < f.len; ++i)
        f.data[i] = uint8_t(parts[i + 1].toUInt(nullptr, 16));
    return f;
}

// Runs the script against node; false (with a message) on the first mismatch.
// Frames sent and not expected by the script fail it too.
inline bool runSdoScript(TestBus& bus, CanOpenNode* node, const QStringList& script, QString* why)
{
    std::deque<CanFrame> pending;
    auto fetch = [&] {
        for (const CanFrame& f : bus.takeSent(node))
            pending.push_back(f);
    };
    for (const QString& step : script) {
        const QString body = step.mid(1).trimmed();
        fetch();
        if (step.startsWith('>')) {
            if (pending.empty()) {
                *why = "expected " + body + ", nothing sent";
                return false;
            }
            const QString got = frameText(pending.front());
            pending.pop_front();
            if (got != body) {
                *why = "expected " + body + ", sent " + got;
                return false;
            }
            continue;
        }
        if (!pending.empty()) {
            *why = "unexpected " + frameText(pending.front()) + " before " + step;
            return false;
        }
        if (step.startsWith('<'))
            bus.deliver(node, parseFrame(body));
        else if (step.startsWith('+'))
            bus.advance(body.toUInt());
    }
    fetch();
    if (!pending.empty()) {
        *why = "unexpected " + frameText(pending.front()) + " at the end";
        return false;
    }
    return true;
}
