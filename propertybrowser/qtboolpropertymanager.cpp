#include "propertybrowser/qtboolpropertymanager.h"

#include "propertybrowser/qtpropertyrecords_p.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

struct BoolData
{
    bool value = false;
    bool textVisible = true;
};

// A check box as the style draws it, w wide and max(w, h) high, centred vertically.
QIcon drawCheckBox(bool checked)
{
    QStyleOptionButton opt;
    opt.state |= checked ? QStyle::State_On : QStyle::State_Off;
    opt.state |= QStyle::State_Enabled;
    const QStyle *style = QApplication::style();
    const int w = style->pixelMetric(QStyle::PM_IndicatorWidth);
    const int h = style->pixelMetric(QStyle::PM_IndicatorHeight);
    const int side = qMax(w, h);
    QPixmap pixmap(w, side);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        if (h < side)
            painter.translate(0, (side - h) / 2);
        opt.rect = QRect(0, 0, w, h);
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &opt, &painter);
    }
    return QIcon(pixmap);
}

} // namespace

class QtBoolPropertyManagerPrivate
{
public:
    explicit QtBoolPropertyManagerPrivate(QtBoolPropertyManager *manager)
        : q_ptr(manager), checkedIcon(drawCheckBox(true)), uncheckedIcon(drawCheckBox(false))
    {
    }

    QtBoolPropertyManager *q_ptr;
    QtPropertyRecords<BoolData> values;
    QIcon checkedIcon;
    QIcon uncheckedIcon;
};

QtBoolPropertyManager::QtBoolPropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent), d_ptr(std::make_unique<QtBoolPropertyManagerPrivate>(this))
{
}

QtBoolPropertyManager::~QtBoolPropertyManager()
{
    clear();
}

bool QtBoolPropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &BoolData::value);
}

bool QtBoolPropertyManager::textVisible(const QtProperty *property) const
{
    return d_ptr->values.get(property, &BoolData::textVisible);
}

QString QtBoolPropertyManager::valueText(const QtProperty *property) const
{
    const BoolData *data = d_ptr->values.find(property);
    if (!data || !data->textVisible)
        return QString();
    // Looked up once per process.
    static const QString trueText = QCoreApplication::translate("QtBoolPropertyManager", "True");
    static const QString falseText = QCoreApplication::translate("QtBoolPropertyManager", "False");
    return data->value ? trueText : falseText;
}

QIcon QtBoolPropertyManager::valueIcon(const QtProperty *property) const
{
    const BoolData *data = d_ptr->values.find(property);
    if (!data)
        return QIcon();
    return data->value ? d_ptr->checkedIcon : d_ptr->uncheckedIcon;
}

void QtBoolPropertyManager::setValue(QtProperty *property, bool val)
{
    setAnnounced(this, d_ptr->values, property, &BoolData::value, val, &QtBoolPropertyManager::valueChanged);
}

void QtBoolPropertyManager::setTextVisible(QtProperty *property, bool textVisible)
{
    setAnnounced(this, d_ptr->values, property, &BoolData::textVisible, textVisible,
                 &QtBoolPropertyManager::textVisibleChanged);
}

void QtBoolPropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->values.initialize(property);
}

void QtBoolPropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->values.uninitialize(property);
}
