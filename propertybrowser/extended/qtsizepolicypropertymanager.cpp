#include "propertybrowser/extended/qtsizepolicypropertymanager.h"

#include "propertybrowser/extended/qtextendedmanager_p.h"
#include "propertybrowser/extended/qtmetaenumtables.h"

#include <QtGlobal>

namespace {

enum PolicyComponent { HorizontalPolicy, VerticalPolicy, HorizontalStretch, VerticalStretch, PolicyComponentCount };

// The sub-properties' values of a size policy, in component order.
std::array<int, PolicyComponentCount> componentsOf(const QSizePolicy &policy)
{
    const QtMetaEnumTables *tables = QtMetaEnumTables::instance();
    return {tables->policyToIndex(policy.horizontalPolicy()), tables->policyToIndex(policy.verticalPolicy()),
            policy.horizontalStretch(), policy.verticalStretch()};
}

} // namespace

class QtSizePolicyPropertyManagerPrivate
{
public:
    explicit QtSizePolicyPropertyManagerPrivate(QtSizePolicyPropertyManager *manager)
        : q_ptr(manager), intManager(new QtIntPropertyManager(manager)),
          enumManager(new QtEnumPropertyManager(manager))
    {
    }

    // Component `c` of the property's size policy becomes `val` (a stretch, or a key
    // index of the policy enumeration).
    void changeComponent(const QtProperty *sub, int val, bool stretch)
    {
        const auto found = links.find(sub);
        const bool isStretch = found.component == HorizontalStretch || found.component == VerticalStretch;
        if (!found.parent || isStretch != stretch)
            return;
        QSizePolicy policy = q_ptr->value(found.parent);
        const QSizePolicy::Policy key = QtMetaEnumTables::instance()->indexToPolicy(val);
        switch (found.component) {
        case HorizontalPolicy:
            policy.setHorizontalPolicy(key);
            break;
        case VerticalPolicy:
            policy.setVerticalPolicy(key);
            break;
        case HorizontalStretch:
            policy.setHorizontalStretch(val);
            break;
        default:
            policy.setVerticalStretch(val);
        }
        q_ptr->setValue(found.parent, policy);
    }

    QtSizePolicyPropertyManager *q_ptr;
    QtPropertyRecords<QtValueRecord<QSizePolicy>> values;
    QtIntPropertyManager *intManager;
    QtEnumPropertyManager *enumManager;
    QtComponentLinks<PolicyComponentCount> links;
};

QtSizePolicyPropertyManager::QtSizePolicyPropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent),
      d_ptr(std::make_unique<QtSizePolicyPropertyManagerPrivate>(this))
{
    connect(d_ptr->intManager, SIGNAL(valueChanged(QtProperty *, int)), this,
            SLOT(slotIntChanged(QtProperty *, int)));
    connect(d_ptr->enumManager, SIGNAL(valueChanged(QtProperty *, int)), this,
            SLOT(slotEnumChanged(QtProperty *, int)));
    connect(d_ptr->intManager, SIGNAL(propertyDestroyed(QtProperty *)), this,
            SLOT(slotPropertyDestroyed(QtProperty *)));
    connect(d_ptr->enumManager, SIGNAL(propertyDestroyed(QtProperty *)), this,
            SLOT(slotPropertyDestroyed(QtProperty *)));
}

QtSizePolicyPropertyManager::~QtSizePolicyPropertyManager()
{
    clear();
}

QSizePolicy QtSizePolicyPropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &QtValueRecord<QSizePolicy>::value);
}

QtIntPropertyManager *QtSizePolicyPropertyManager::subIntPropertyManager() const
{
    return d_ptr->intManager;
}

QtEnumPropertyManager *QtSizePolicyPropertyManager::subEnumPropertyManager() const
{
    return d_ptr->enumManager;
}

QString QtSizePolicyPropertyManager::valueText(const QtProperty *property) const
{
    const auto *record = d_ptr->values.find(property);
    if (!record)
        return QString();
    const QStringList names = QtMetaEnumTables::instance()->policyEnumNames();
    const auto parts = componentsOf(record->value);
    const auto policyText = [&names](int index) {
        return index < 0 ? tr("<Invalid>") : names.at(index);
    };
    return tr("[%1, %2, %3, %4]")
        .arg(policyText(parts[HorizontalPolicy]), policyText(parts[VerticalPolicy]),
             QString::number(parts[HorizontalStretch]), QString::number(parts[VerticalStretch]));
}

void QtSizePolicyPropertyManager::setValue(QtProperty *property, const QSizePolicy &val)
{
    setCompoundValue(this, d_ptr->values, property, val, [this, property](const QSizePolicy &policy) {
        const auto parts = componentsOf(policy);
        for (int c = HorizontalPolicy; c < PolicyComponentCount; ++c) {
            QtProperty *sub = d_ptr->links.subProperty(c, property);
            if (c == HorizontalPolicy || c == VerticalPolicy)
                d_ptr->enumManager->setValue(sub, parts[c]);
            else
                d_ptr->intManager->setValue(sub, parts[c], true);
        }
    });
}

void QtSizePolicyPropertyManager::slotIntChanged(QtProperty *sub, int val)
{
    d_ptr->changeComponent(sub, qBound(0, val, 255), true);
}

void QtSizePolicyPropertyManager::slotEnumChanged(QtProperty *sub, int val)
{
    d_ptr->changeComponent(sub, val, false);
}

void QtSizePolicyPropertyManager::slotPropertyDestroyed(QtProperty *sub)
{
    d_ptr->links.forget(sub);
}

void QtSizePolicyPropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->values.initialize(property);
    const QStringList policyNames = QtMetaEnumTables::instance()->policyEnumNames();
    const auto parts = componentsOf(QSizePolicy());
    const QString names[PolicyComponentCount] = {tr("Horizontal Policy"), tr("Vertical Policy"),
                                           tr("Horizontal Stretch"), tr("Vertical Stretch")};
    for (int c = HorizontalPolicy; c < PolicyComponentCount; ++c) {
        if (c == HorizontalPolicy || c == VerticalPolicy) {
            addComponent(property, d_ptr->enumManager, d_ptr->links[c], names[c], [&](QtProperty *sub) {
                d_ptr->enumManager->setEnumNames(sub, policyNames);
                d_ptr->enumManager->setValue(sub, parts[c]);
            });
        } else {
            addComponent(property, d_ptr->intManager, d_ptr->links[c], names[c], [&](QtProperty *sub) {
                d_ptr->intManager->setValue(sub, parts[c], true);
                d_ptr->intManager->setRange(sub, 0, 255);
            });
        }
    }
}

void QtSizePolicyPropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->links.releaseAll(property);
    d_ptr->values.uninitialize(property);
}
