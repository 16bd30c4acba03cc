// Answers the connection dialogs of a test: one scripted answer per dialog, in
// order; a dialog nobody scripted is cancelled.
#pragma once

#include "app/connectiondialog.h"
#include "app/connectiondialogrunner.h"

#include <QComboBox>
#include <QStringList>

#include <deque>
#include <functional>

using DialogAnswer = std::function<bool(ConnectionDialog&)>;

struct DialogScript {
    std::deque<DialogAnswer> answers;
    QStringList preselected; // the port each dialog opened with
    int opened = 0;
    ScopedConnectionDialogHandler handler{[this](ConnectionDialog& d) {
        ++opened;
        preselected << d.portName();
        if (answers.empty())
            return false;
        DialogAnswer answer = std::move(answers.front());
        answers.pop_front();
        return answer(d);
    }};
};

// Picks the device (type id "1" for the first sample device, "2" for the
// second) and types the port; device id 245, which names no node, unless
// `extra` changes it. `extra` runs last.
inline DialogAnswer choose(const QString& device, const QString& port,
                           std::function<void(ConnectionDialog&)> extra = {})
{
    return [=](ConnectionDialog& d) {
        d.setDeviceType({device, device == QLatin1String("DemoDrive") ? "1" : "2"});
        d.findChild<QComboBox*>("cbConnectionType")->setEditText(port);
        d.setDeviceId(245);
        if (extra)
            extra(d);
        return true;
    };
}
