// The property model: a QtProperty is one node of a property tree, created, owned
// and destroyed by exactly one manager derived from QtAbstractPropertyManager. The
// manager holds the property's typed value and announces every structural and data
// change through its signals; browsers and editor factories only listen to them.
//
// A property does not own its sub-properties: each belongs to its own manager, and
// the tree is a set of links. A property may be the sub-property of several parents.
// Invalid structural requests (null, self, duplicate, cycle) are refused silently.
//
// GUI thread only; every signal is a direct call.
#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

class QtAbstractPropertyManager;
class QtPropertyPrivate;
class QtAbstractPropertyManagerPrivate;

class QtProperty
{
public:
    virtual ~QtProperty();

    QList<QtProperty *> subProperties() const;
    QtAbstractPropertyManager *propertyManager() const;

    QString toolTip() const;
    QString statusTip() const;
    QString whatsThis() const;
    QString propertyName() const;
    bool isEnabled() const;
    bool isModified() const;
    // Texts of the extra columns 2, 3, ... of a tree browser.
    QStringList columnTexts() const;

    // Forwarded to the manager's virtual operations of the same names.
    bool hasValue() const;
    QIcon valueIcon() const;
    QString valueText() const;
    QString displayText() const;

    // Each emits the manager's propertyChanged when the stored value changes.
    void setToolTip(const QString &text);
    void setStatusTip(const QString &text);
    void setWhatsThis(const QString &text);
    void setPropertyName(const QString &text);
    void setEnabled(bool enable);
    void setModified(bool modified);
    // Emits nothing: a browser shows the texts at the row's next refresh.
    void setColumnTexts(const QStringList &texts);

    // A property being destroyed takes no new parent and no new sub-property.
    void addSubProperty(QtProperty *property);
    // Inserts after `afterProperty`; first when it is null or not a sub-property.
    void insertSubProperty(QtProperty *property, QtProperty *afterProperty);
    // Announces the removal before looking the property up, even when it is no child.
    void removeSubProperty(QtProperty *property);

protected:
    // Only a manager's createProperty makes properties.
    explicit QtProperty(QtAbstractPropertyManager *manager);

private:
    friend class QtAbstractPropertyManager;
    friend class QtPropertyWatch;
    friend bool qtPropertyIsGoing(const QtProperty *property);
    friend bool qtIsSubPropertyOf(const QtProperty *property, const QtProperty *parent);
    std::unique_ptr<QtPropertyPrivate> d_ptr;
};

class QtAbstractPropertyManager : public QObject
{
    Q_OBJECT
public:
    explicit QtAbstractPropertyManager(QObject *parent = nullptr);
    // Deletes every owned property (clear). A typed manager clears in its own
    // destructor too, so that its uninitializeProperty still runs for each.
    ~QtAbstractPropertyManager() override;

    // A property leaves the set as its destruction starts, before the signals it
    // sends: a handler that clears the manager then does not delete it again.
    QSet<QtProperty *> properties() const;
    // Deletes the owned properties one at a time until none is left: those without
    // a parent first, then the others, each newest first.
    void clear();

    // A new property named `name` (propertyChanged only for a non-empty name),
    // initialised by the typed manager; null when createProperty gives none, and
    // when a handler of what the call announces deleted it. It is among
    // properties() from its name on.
    QtProperty *addProperty(const QString &name = QString());

    virtual bool hasValue(const QtProperty *property) const;
    virtual QIcon valueIcon(const QtProperty *property) const;
    virtual QString valueText(const QtProperty *property) const;
    // Does not fall back to valueText.
    virtual QString displayText(const QtProperty *property) const;
    // A QLineEdit::EchoMode.
    virtual int echoMode(const QtProperty *property) const;

signals:
    void propertyInserted(QtProperty *property, QtProperty *parent, QtProperty *after);
    void propertyChanged(QtProperty *property);
    // Emitted by the editor registry for every editor it registers.
    void editorCreated(QtProperty *property);
    void propertyRemoved(QtProperty *property, QtProperty *parent);
    void propertyDestroyed(QtProperty *property);

protected:
    virtual void initializeProperty(QtProperty *property) = 0;
    virtual void uninitializeProperty(QtProperty *property);
    virtual QtProperty *createProperty();

private:
    friend class QtProperty;
    friend class QtPropertyWatch;
    std::unique_ptr<QtAbstractPropertyManagerPrivate> d_ptr;
};
