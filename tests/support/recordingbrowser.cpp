#include "recordingbrowser.h"

void RecordingBrowser::itemInserted(QtBrowserItem *item, QtBrowserItem *afterItem)
{
    record("inserted", item, afterItem);
}

void RecordingBrowser::itemRemoved(QtBrowserItem *item)
{
    record("removed", item, nullptr);
}

void RecordingBrowser::itemChanged(QtBrowserItem *item)
{
    record("changed", item, nullptr);
}

void RecordingBrowser::record(const char *call, QtBrowserItem *item, QtBrowserItem *afterItem)
{
    QString text = QString::fromLatin1(call) + QLatin1Char('(') + item->property()->propertyName();
    if (afterItem)
        text += QStringLiteral(" after ") + afterItem->property()->propertyName();
    if (item->parent())
        text += QStringLiteral(" under ") + item->parent()->property()->propertyName();
    calls << text + QLatin1Char(')');
}
