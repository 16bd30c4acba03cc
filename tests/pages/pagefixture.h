// Writes small page-data folders for the page tests: forms are generated from a few
// helpers so that each test shows only what matters to it.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

namespace pagefixture {

inline bool writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

inline QString xmlEscaped(const QString &text)
{
    return text.toHtmlEscaped();
}

inline QString prop(const QString &name, const QString &value, bool dynamic = false)
{
    return QStringLiteral("<property name=\"%1\"%2><string>%3</string></property>\n")
        .arg(name, dynamic ? QStringLiteral(" stdset=\"0\"") : QString(), xmlEscaped(value));
}

inline QString boolProp(const QString &name, bool value)
{
    return QStringLiteral("<property name=\"%1\"><bool>%2</bool></property>\n")
        .arg(name, value ? QStringLiteral("true") : QStringLiteral("false"));
}

// A widget inside a vertical layout item.
inline QString item(const QString &cls, const QString &name, const QString &inner)
{
    return QStringLiteral("<item><widget class=\"%1\" name=\"%2\">\n%3</widget></item>\n")
        .arg(cls, name, inner);
}

inline QString vbox(const QString &items, const QString &name)
{
    return QStringLiteral("<layout class=\"QVBoxLayout\" name=\"%1\">\n%2</layout>\n").arg(name, items);
}

// A whole form: a QWidget whose vertical layout holds `items`.
inline QByteArray form(const QString &items)
{
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ui version=\"4.0\">\n"
               "<class>Form</class>\n<widget class=\"QWidget\" name=\"Form\">\n%1</widget>\n"
               "<resources/>\n<connections/>\n</ui>\n")
        .arg(vbox(items, QStringLiteral("formLayout")))
        .toUtf8();
}

inline QString param(const QString &name, const QString &type, const QString &index,
                     const QString &sub, const QString &group, const QString &rules = QString())
{
    QString inner = prop(QStringLiteral("CDataType"), type) + prop(QStringLiteral("paramName"), name)
        + prop(QStringLiteral("index"), index) + prop(QStringLiteral("subIndex"), sub)
        + prop(QStringLiteral("groupName"), group);
    if (!rules.isEmpty())
        inner += prop(QStringLiteral("dependences"), rules);
    return item(QStringLiteral("QDataTypeWgt"), name, inner);
}

inline QString field(const QString &cls, const QString &name, const QString &fieldName,
                     const QString &extra = QString())
{
    return item(cls, name, prop(QStringLiteral("CDataField"), fieldName) + extra);
}

inline QString groupBox(const QString &name, const QString &rules, const QString &items)
{
    return QStringLiteral("<item><widget class=\"QGroupBox\" name=\"%1\">\n%2%3</widget></item>\n")
        .arg(name, rules.isEmpty() ? QString() : prop(QStringLiteral("dependencies"), rules, true),
             vbox(items, name + QStringLiteral("Layout")));
}

inline QString groupButton(const QString &name, const QString &group, const QString &action)
{
    return item(QStringLiteral("QGroupBtnWgt"), name,
                prop(QStringLiteral("groupName"), group) + prop(QStringLiteral("actionName"), action));
}

inline QString rule(const QString &index, const QString &sub, const QString &fieldName,
                    const QString &action, const QStringList &values)
{
    QStringList quoted;
    for (const QString &v : values)
        quoted << QLatin1Char('"') + v + QLatin1Char('"');
    return QStringLiteral("{\"index\":\"%1\",\"subindex\":\"%2\",\"fieldname\":\"%3\",\"action\":\"%4\","
                          "\"values\":[%5]}")
        .arg(index, sub, fieldName, action, quoted.join(QLatin1Char(',')));
}

inline QString rules(const QStringList &list)
{
    return QStringLiteral("{\"dependences\":[%1]}").arg(list.join(QLatin1Char(',')));
}

} // namespace pagefixture
