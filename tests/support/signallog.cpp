#include "signallog.h"

#include "propertybrowser/qtabstractpropertybrowser.h"
#include "propertybrowser/qtproperty.h"

#include <QRegExp>
#include <QVariant>

namespace {

QString propertyText(const QtProperty *property)
{
    return property ? property->propertyName() : QStringLiteral("null");
}

QString variantText(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::QStringList:
        return value.toStringList().join(QLatin1Char('|'));
    case QMetaType::QRegExp:
        return value.toRegExp().pattern();
    default:
        return value.canConvert<QString>() ? value.toString() : QString::fromLatin1(value.typeName());
    }
}

QString argumentText(const QByteArray &typeName, void *arg)
{
    if (typeName == "QtProperty*")
        return propertyText(*static_cast<QtProperty **>(arg));
    if (typeName == "QtBrowserItem*") {
        const QtBrowserItem *item = *static_cast<QtBrowserItem **>(arg);
        return item ? propertyText(item->property()) : QStringLiteral("null");
    }
    // A variant argument shows what it carries.
    if (typeName == "QVariant")
        return variantText(*static_cast<const QVariant *>(arg));
    const int type = QMetaType::type(typeName.constData());
    if (type == QMetaType::UnknownType)
        return QString::fromLatin1(typeName);
    return variantText(QVariant(type, arg));
}

} // namespace

SignalLog::SignalLog(std::initializer_list<QObject *> objects)
{
    for (QObject *object : objects)
        attach(object);
}

void SignalLog::attach(QObject *object)
{
    const QMetaObject *meta = object->metaObject();
    const int firstSlot = QObject::staticMetaObject.methodCount();
    const QString name = object->objectName();
    const QString prefix = name.isEmpty() ? QString() : name + QLatin1Char('.');
    for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() != QMetaMethod::Signal)
            continue;
        // Each watched signal gets a slot index of its own past QObject's methods;
        // qt_metacall turns it back into the entry.
        QMetaObject::connect(object, i, this, firstSlot + m_watched.size(), Qt::DirectConnection);
        m_watched.append({method, prefix});
    }
}

QStringList SignalLog::take()
{
    const QStringList entries = m_entries;
    m_entries.clear();
    return entries;
}

int SignalLog::qt_metacall(QMetaObject::Call call, int id, void **args)
{
    id = QObject::qt_metacall(call, id, args);
    if (id < 0 || call != QMetaObject::InvokeMetaMethod)
        return id;
    if (id < m_watched.size()) {
        const Watched &w = m_watched.at(id);
        QStringList texts;
        const QList<QByteArray> types = w.signal.parameterTypes();
        for (int i = 0; i < types.size(); ++i)
            texts << argumentText(types.at(i), args[i + 1]);
        m_entries << w.prefix + QString::fromLatin1(w.signal.name()) + QLatin1Char('(')
                         + texts.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    return -1;
}
