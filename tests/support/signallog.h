// Records every signal of the objects it watches, in the order of emission, as
// "name(arg,arg)" (prefixed with "objectName." when the object has a name), so
// that one check sees the order across different signals. Arguments are shown
// by value: a QtProperty by its name, a browser item by its property's name,
// lists joined with '|', an expression by its pattern, a variant by what it
// carries, null pointers as "null"; a type it cannot show appears by its type name.
//
// Watches the signals an object's class adds to QObject's; connections are
// direct, so a record is made while the emitter still runs.
#pragma once

#include <QMetaMethod>
#include <QObject>
#include <QStringList>
#include <QVector>

#include <initializer_list>

class SignalLog : public QObject
{
public:
    SignalLog() = default;
    explicit SignalLog(std::initializer_list<QObject *> objects);

    void attach(QObject *object);

    QStringList entries() const { return m_entries; }
    // The entries so far; the log starts empty again.
    QStringList take();
    void clear() { m_entries.clear(); }

    int qt_metacall(QMetaObject::Call call, int id, void **args) override;

private:
    struct Watched
    {
        QMetaMethod signal;
        QString prefix;
    };
    QVector<Watched> m_watched;
    QStringList m_entries;
};
