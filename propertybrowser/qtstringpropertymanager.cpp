#include "propertybrowser/qtstringpropertymanager.h"

#include "propertybrowser/qtpropertyrecords_p.h"
#include "propertybrowser/qtpropertywatch_p.h"

namespace {

struct StringData
{
    QString value;
    // Accepts every text.
    QRegExp regExp{QStringLiteral("*"), Qt::CaseSensitive, QRegExp::Wildcard};
    QString inputMask;
    int echoMode = QLineEdit::Normal;
    bool readOnly = false;
    bool btnVisible = false;
    QString btnCaption = QStringLiteral("Редактировать");
};

} // namespace

class QtStringPropertyManagerPrivate
{
public:
    explicit QtStringPropertyManagerPrivate(QtStringPropertyManager *manager) : q_ptr(manager) {}

    QtStringPropertyManager *q_ptr;
    QtPropertyRecords<StringData> values;
};

QtStringPropertyManager::QtStringPropertyManager(QObject *parent)
    : QtAbstractPropertyManager(parent),
      d_ptr(std::make_unique<QtStringPropertyManagerPrivate>(this))
{
}

QtStringPropertyManager::~QtStringPropertyManager()
{
    clear();
}

QString QtStringPropertyManager::value(const QtProperty *property) const
{
    return d_ptr->values.get(property, &StringData::value);
}

QRegExp QtStringPropertyManager::regExp(const QtProperty *property) const
{
    return d_ptr->values.get(property, &StringData::regExp);
}

QString QtStringPropertyManager::inputMask(const QtProperty *property) const
{
    return d_ptr->values.get(property, &StringData::inputMask);
}

bool QtStringPropertyManager::isReadOnly(const QtProperty *property) const
{
    return d_ptr->values.get(property, &StringData::readOnly);
}

bool QtStringPropertyManager::isBtnVisible(const QtProperty *property) const
{
    return d_ptr->values.get(property, &StringData::btnVisible);
}

QString QtStringPropertyManager::btnCaption(const QtProperty *property) const
{
    return d_ptr->values.get(property, &StringData::btnCaption);
}

int QtStringPropertyManager::echoMode(const QtProperty *property) const
{
    return d_ptr->values.get(property, &StringData::echoMode);
}

QString QtStringPropertyManager::valueText(const QtProperty *property) const
{
    return value(property);
}

QString QtStringPropertyManager::displayText(const QtProperty *property) const
{
    const StringData *data = d_ptr->values.find(property);
    if (!data)
        return QString();
    if (data->echoMode == QLineEdit::Normal)
        return data->value;
    // The masking character belongs to the style; a line edit knows it.
    QLineEdit edit;
    edit.setEchoMode(static_cast<QLineEdit::EchoMode>(data->echoMode));
    edit.setText(data->value);
    return edit.displayText();
}

void QtStringPropertyManager::setValue(QtProperty *property, const QString &val, bool onlyIfChanged)
{
    StringData *data = d_ptr->values.find(property);
    if (!data)
        return;
    if (onlyIfChanged && data->value == val)
        return;
    if (data->regExp.isValid() && !data->regExp.exactMatch(val))
        return;
    data->value = val;
    // A copy: a receiver may delete the property, and nothing more is announced then.
    const QString stored = val;
    const QtPropertyWatch watch(property);
    emit propertyChanged(property);
    if (watch.isAlive())
        emit valueChanged(property, stored);
}

void QtStringPropertyManager::setValue(QtProperty *property, const QString &val)
{
    setValue(property, val, true);
}

void QtStringPropertyManager::setRegExp(QtProperty *property, const QRegExp &regExp)
{
    StringData *data = d_ptr->values.find(property);
    if (data && storeChanged(data->regExp, regExp))
        emit regExpChanged(property, regExp);
}

void QtStringPropertyManager::setInputMask(QtProperty *property, const QString &inputMask)
{
    StringData *data = d_ptr->values.find(property);
    if (data && storeChanged(data->inputMask, inputMask))
        emit inputMaskChanged(property, inputMask);
}

void QtStringPropertyManager::setEchoMode(QtProperty *property, QLineEdit::EchoMode echoMode)
{
    setAnnounced(this, d_ptr->values, property, &StringData::echoMode, static_cast<int>(echoMode),
                 &QtStringPropertyManager::echoModeChanged);
}

void QtStringPropertyManager::setReadOnly(QtProperty *property, bool readOnly)
{
    setAnnounced(this, d_ptr->values, property, &StringData::readOnly, readOnly,
                 &QtStringPropertyManager::readOnlyChanged);
}

void QtStringPropertyManager::setBtnVisibility(QtProperty *property, bool visible)
{
    setShownSetting(this, d_ptr->values, property, &StringData::btnVisible, visible);
}

void QtStringPropertyManager::setBtnCaption(QtProperty *property, const QString &caption)
{
    setShownSetting(this, d_ptr->values, property, &StringData::btnCaption, caption);
}

void QtStringPropertyManager::initializeProperty(QtProperty *property)
{
    d_ptr->values.initialize(property);
}

void QtStringPropertyManager::uninitializeProperty(QtProperty *property)
{
    d_ptr->values.uninitialize(property);
}
