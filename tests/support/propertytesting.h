// Small helpers shared by the property-browser tests.
#pragma once

#include "signallog.h"

#include "propertybrowser/qtabstractpropertybrowser.h"
#include "propertybrowser/qtproperty.h"

#include <QMetaMethod>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cstddef>
#include <functional>

// N properties of the manager, named by the letters in order:
//   const auto [a, b, c] = namedProperties<3>(manager, "ABC");
template <std::size_t N>
std::array<QtProperty *, N> namedProperties(QtAbstractPropertyManager &manager, const char (&letters)[N + 1])
{
    std::array<QtProperty *, N> out;
    for (std::size_t i = 0; i < N; ++i)
        out[i] = manager.addProperty(QString(QLatin1Char(letters[i])));
    return out;
}

inline QStringList propertyNames(const QList<QtProperty *> &properties)
{
    QStringList out;
    for (const QtProperty *p : properties)
        out << p->propertyName();
    return out;
}

// Records, by name, the signals of a manager that name one property, matched by
// its address only: it may be gone by then.
class NamingSignals : public QObject
{
public:
    NamingSignals(QObject *manager, const QtProperty *property) : m_property(property)
    {
        const QMetaObject *meta = manager->metaObject();
        for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() != QMetaMethod::Signal || method.parameterTypes().value(0) != "QtProperty*")
                continue;
            QMetaObject::connect(manager, i, this, QObject::staticMetaObject.methodCount() + m_names.size(),
                                 Qt::DirectConnection);
            m_names << QString::fromLatin1(method.name());
        }
    }

    QStringList seen;

    int qt_metacall(QMetaObject::Call call, int id, void **args) override
    {
        id = QObject::qt_metacall(call, id, args);
        if (id >= 0 && call == QMetaObject::InvokeMetaMethod && id < m_names.size()
            && *static_cast<QtProperty **>(args[1]) == m_property)
            seen << m_names.at(id);
        return -1;
    }

private:
    const QtProperty *m_property;
    QStringList m_names;
};

// How many log entries start with the prefix.
inline int countOf(const QStringList &entries, const QString &prefix)
{
    return int(std::count_if(entries.begin(), entries.end(), [&](const QString &e) { return e.startsWith(prefix); }));
}

// The names of the properties the items show.
inline QStringList itemNames(const QList<QtBrowserItem *> &items)
{
    QStringList out;
    for (const QtBrowserItem *item : items)
        out << item->property()->propertyName();
    return out;
}

// A step of a value manager's table of cases, run on a property named "P".
template <class Manager>
using ManagerStep = std::function<void(Manager &, QtProperty *)>;

// Runs `setup` unwatched, then `action` while a log watches the manager; returns
// what the action emitted.
template <class Manager>
QStringList signalsOf(Manager &manager, QtProperty *property, const ManagerStep<Manager> &setup,
                      const ManagerStep<Manager> &action)
{
    setup(manager, property);
    SignalLog log{&manager};
    action(manager, property);
    return log.entries();
}

template <class Manager>
QStringList signalsOf(Manager &manager, QtProperty *property, const ManagerStep<Manager> &action)
{
    return signalsOf<Manager>(manager, property, [](Manager &, QtProperty *) {}, action);
}
