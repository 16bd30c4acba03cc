// One property manager for every value type of the property browser, through
// QVariant. QtVariantPropertyManager stores no values: it makes one typed manager
// per supported type (its QObject children) and pairs every QtVariantProperty it
// hands out with an internal property of the typed manager that serves the type.
// Values and named attributes (range, step, decimals, names of an enumeration, ...)
// are read from and written to the internal property; the typed managers' change
// signals come back as valueChanged and attributeChanged, and the sub-properties a
// compound manager gives its internal properties (the components of a size, a
// font, ...) are mirrored as variant sub-properties.
//
// Every refusal is silent: an unsupported type, an unknown attribute, a value that
// does not convert to the type without loss, a property of another manager.
//
// GUI thread only; the typed managers' signals are relayed while they are emitted.
#pragma once

#include "propertybrowser/qtproperty.h"

#include <QChar>
#include <QColor>
#include <QCursor>
#include <QDate>
#include <QDateTime>
#include <QFont>
#include <QIcon>
#include <QKeySequence>
#include <QLocale>
#include <QMap>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QRegExp>
#include <QSize>
#include <QSizeF>
#include <QSizePolicy>
#include <QStringList>
#include <QTime>
#include <QVariant>

#include <memory>

// The icons of an enumeration by index: the type of the attribute "enumIcons".
typedef QMap<int, QIcon> QtIconMap;

class QtVariantPropertyManager;
class QtVariantPropertyManagerPrivate;
class QtVariantPropertyPrivate;

class QtVariantProperty : public QtProperty
{
public:
    ~QtVariantProperty() override;

    // Each forwards to the manager with the property itself.
    QVariant value() const;
    QVariant attributeValue(const QString &attribute) const;
    int valueType() const;
    int propertyType() const;
    void setValue(const QVariant &value);
    void setAttribute(const QString &attribute, const QVariant &value);

protected:
    // Only the manager's addProperty makes variant properties.
    explicit QtVariantProperty(QtVariantPropertyManager *manager);

private:
    friend class QtVariantPropertyManager;
    std::unique_ptr<QtVariantPropertyPrivate> d_ptr;
};

class QtVariantPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtVariantPropertyManager(QObject *parent = nullptr);
    // Deletes every variant property, and with it its internal property, while the
    // typed managers still live.
    ~QtVariantPropertyManager() override;

    // Meta-type ids of the marker types "QtEnumPropertyType", "QtFlagPropertyType"
    // and "QtGroupPropertyType", and of QtIconMap ("QtIconMap"); registered at the
    // first call.
    static int enumTypeId();
    static int flagTypeId();
    static int groupTypeId();
    static int iconMapTypeId();

    // Null when the property is not one of this manager's.
    QtVariantProperty *variantProperty(const QtProperty *property) const;
    // 0 when the property is not one of this manager's.
    int propertyType(const QtProperty *property) const;
    int valueType(const QtProperty *property) const;

    // A group property has none; a property the manager does not know has one.
    bool hasValue(const QtProperty *property) const override;
    QIcon valueIcon(const QtProperty *property) const override;
    // The internal property's display text, else its value text.
    QString valueText(const QtProperty *property) const override;

    // Null, and nothing made, for a type the manager does not support.
    virtual QtVariantProperty *addProperty(int propertyType, const QString &name = QString());
    virtual bool isPropertyTypeSupported(int propertyType) const;
    // 0 for an unknown type and for the group type.
    virtual int valueType(int propertyType) const;
    // In ascending name order.
    virtual QStringList attributes(int propertyType) const;
    // 0 for an unknown type or attribute.
    virtual int attributeType(int propertyType, const QString &attribute) const;
    // Invalid for anything the manager does not know.
    virtual QVariant value(const QtProperty *property) const;
    virtual QVariant attributeValue(const QtProperty *property, const QString &attribute) const;

public slots:
    // A value of another type is converted first; one that does not convert, or
    // would lose its number doing so, is refused. The change is announced by the
    // typed manager, relayed as valueChanged, then propertyChanged.
    virtual void setValue(QtProperty *property, const QVariant &value);
    // As setValue, for an attribute of the property's type; announced as
    // attributeChanged where the typed manager announces the change at all.
    virtual void setAttribute(QtProperty *property, const QString &attribute, const QVariant &value);

signals:
    void valueChanged(QtProperty *property, const QVariant &val);
    // Declared for the editor factories; the manager does not emit it.
    void valueUpdated(QtProperty *property, const QVariant &val);
    // Declared for the editor factories; the manager does not emit it.
    void scriptCalled(QtProperty *property);
    void attributeChanged(QtProperty *property, const QString &attribute, const QVariant &val);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;
    // Refuses outside addProperty.
    QtProperty *createProperty() override;

private slots:
    void slotValueChanged(QtProperty *property, int val);
    void slotValueChanged(QtProperty *property, double val);
    void slotValueChanged(QtProperty *property, bool val);
    void slotValueChanged(QtProperty *property, const QString &val);
    void slotValueChanged(QtProperty *property, const QDate &val);
    void slotValueChanged(QtProperty *property, const QTime &val);
    void slotValueChanged(QtProperty *property, const QDateTime &val);
    void slotValueChanged(QtProperty *property, const QKeySequence &val);
    void slotValueChanged(QtProperty *property, const QChar &val);
    void slotValueChanged(QtProperty *property, const QLocale &val);
    void slotValueChanged(QtProperty *property, const QPoint &val);
    void slotValueChanged(QtProperty *property, const QPointF &val);
    void slotValueChanged(QtProperty *property, const QSize &val);
    void slotValueChanged(QtProperty *property, const QSizeF &val);
    void slotValueChanged(QtProperty *property, const QRect &val);
    void slotValueChanged(QtProperty *property, const QRectF &val);
    void slotValueChanged(QtProperty *property, const QColor &val);
    void slotValueChanged(QtProperty *property, const QSizePolicy &val);
    void slotValueChanged(QtProperty *property, const QFont &val);
    void slotValueChanged(QtProperty *property, const QCursor &val);
    void slotRangeChanged(QtProperty *property, int minVal, int maxVal);
    void slotRangeChanged(QtProperty *property, double minVal, double maxVal);
    void slotRangeChanged(QtProperty *property, const QDate &minVal, const QDate &maxVal);
    void slotRangeChanged(QtProperty *property, const QSize &minVal, const QSize &maxVal);
    void slotRangeChanged(QtProperty *property, const QSizeF &minVal, const QSizeF &maxVal);
    void slotSingleStepChanged(QtProperty *property, int step);
    void slotSingleStepChanged(QtProperty *property, double step);
    void slotDecimalsChanged(QtProperty *property, int prec);
    void slotRegExpChanged(QtProperty *property, const QRegExp &regExp);
    void slotEchoModeChanged(QtProperty *property, int mode);
    void slotConstraintChanged(QtProperty *property, const QRect &constraint);
    void slotConstraintChanged(QtProperty *property, const QRectF &constraint);
    void slotEnumNamesChanged(QtProperty *property, const QStringList &names);
    void slotEnumIconsChanged(QtProperty *property, const QMap<int, QIcon> &icons);
    void slotFlagNamesChanged(QtProperty *property, const QStringList &names);
    void slotReadOnlyChanged(QtProperty *property, bool readOnly);
    void slotTextVisibleChanged(QtProperty *property, bool textVisible);
    void slotPropertyInserted(QtProperty *property, QtProperty *parent, QtProperty *after);
    void slotPropertyRemoved(QtProperty *property, QtProperty *parent);

private:
    friend class QtVariantPropertyManagerPrivate;
    std::unique_ptr<QtVariantPropertyManagerPrivate> d_ptr;
};

// The internal property behind a variant property of any variant manager; null for
// a property that has none.
QtProperty *internalPropertyOf(const QtProperty *property);
