#include "propertybrowser/extended/qtcolorpropertymanager.h"

#include "propertybrowser/extended/qtextendedmanager_p.h"
#include "propertybrowser/extended/qtvaluepictures.h"
#include "propertybrowser/qtvaluetexts.h"

namespace {

enum Channel { Red, Green, Blue, Alpha, ChannelCount };

int channel(const QColor &colour, int c)
{
    switch (c) {
    case Red:
        return colour.red();
    case Green:
        return colour.green();
    case Blue:
        return colour.blue();
    default:
        return colour.alpha();
    }
}

void setChannel(QColor &colour, int c, int val)
{
    switch (c) {
    case Red:
        colour.setRed(val);
        break;
    case Green:
        colour.setGreen(val);
        break;
    case Blue:
        colour.setBlue(val);
        break;
    default:
        colour.setAlpha(val);
    }
}

} // namespace

class QtColorPropertyManagerPrivate
{
public:
    explicit QtColorPropertyManagerPrivate(QtColorPropertyManager *manager)
        : q_ptr(manager), inner(new QtIntPropertyManager(manager))
    {
    }

    QtColorPropertyManager *q_ptr;
    QtIntPropertyManager *inner;
    QtPropertyRecords<QtValueRecord<QColor>> values;
    QtComponentLinks<ChannelCount> links;
};

QtColorPropertyManager::QtColorPropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent), d_ptr(std::make_unique<QtColorPropertyManagerPrivate>(this))
{
    connect(d_ptr->inner, SIGNAL(valueChanged(QtProperty *, int)), this,
            SLOT(slotIntChanged(QtProperty *, int)));
    connect(d_ptr->inner, SIGNAL(propertyDestroyed(QtProperty *)), this,
            SLOT(slotPropertyDestroyed(QtProperty *)));
}

QtColorPropertyManager::~QtColorPropertyManager()
{
    clear();
}

QColor QtColorPropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtValueRecord<QColor>::value);
}

QtIntPropertyManager *QtColorPropertyManager::subIntPropertyManager() const
{
    return d_ptr->inner;
}

QIcon QtColorPropertyManager::valueIcon(const QtProperty *property) const
{
    const auto *record = d_ptr->values.find(property);
    return record ? brushValueIcon(QBrush(record->value, Qt::SolidPattern)) : QIcon();
}

QString QtColorPropertyManager::valueText(const QtProperty *property) const
{
    const auto *record = d_ptr->values.find(property);
    return record ? colorValueText(record->value) : QString();
}

void QtColorPropertyManager::setValue(QtProperty *property, const QColor &val)
{
    setCompoundValue(this, d_ptr->values, property, val, [this, property](const QColor &colour) {
        for (int c = Red; c < ChannelCount; ++c)
            d_ptr->inner->setValue(d_ptr->links.subProperty(c, property), channel(colour, c), true);
    });
}

void QtColorPropertyManager::slotIntChanged(QtProperty *sub, int val)
{
    const auto found = d_ptr->links.find(sub);
    if (!found.parent)
        return;
    QColor colour = value(found.parent);
    // The children of an invalid colour show its channels too; writing one back
    // would turn it into a valid one.
    if (channel(colour, found.component) == val)
        return;
    setChannel(colour, found.component, val);
    setValue(found.parent, colour);
}

void QtColorPropertyManager::slotPropertyDestroyed(QtProperty *sub)
{
    d_ptr->links.forget(sub);
}

void QtColorPropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->values.initialize(property);
    const QColor colour;
    const QString names[ChannelCount] = {tr("Red"), tr("Green"), tr("Blue"), tr("Alpha")};
    for (int c = Red; c < ChannelCount; ++c) {
        addComponent(property, d_ptr->inner, d_ptr->links[c], names[c], [this, &colour, c](QtProperty *sub) {
            d_ptr->inner->setValue(sub, channel(colour, c), true);
            d_ptr->inner->setRange(sub, 0, 255);
        });
    }
}

void QtColorPropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->links.releaseAll(property);
    d_ptr->values.uninitialize(property);
}
