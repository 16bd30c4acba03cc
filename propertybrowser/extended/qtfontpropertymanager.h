// Font properties, shown as "[family, point size]" with a sample "A", and edited
// through seven sub-properties: "Family" (a choice among the installed families),
// "Point Size" (1 or more), "Bold", "Italic", "Underline", "Strikeout" and "Kerning".
// When the application reports a change of the installed fonts, the family list is
// read again once, after the current event, and every property keeps its family
// where it is still installed (else it takes the first one).
//
// A family index outside the list (none when the list is empty) changes nothing.
// Needs a QGuiApplication.
#pragma once

#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtenumpropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtproperty.h"

#include <QFont>
#include <QStringList>

#include <memory>

class QtFontPropertyManagerPrivate;

class QtFontPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtFontPropertyManager(QObject *parent = nullptr);
    ~QtFontPropertyManager() override;

    // Where every font manager reads the installed families: by default the platform
    // font database; a test may put its own list in place. Null restores the default.
    using FamilySource = QStringList (*)();
    static void setFamilySource(FamilySource source);

    // A property this manager does not hold reads a default QFont.
    QFont value(const QtProperty *property) const;
    QtIntPropertyManager *subIntPropertyManager() const;
    QtEnumPropertyManager *subEnumPropertyManager() const;
    QtBoolPropertyManager *subBoolPropertyManager() const;

    QIcon valueIcon(const QtProperty *property) const override;
    QString valueText(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QFont &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QFont &val);

public slots:
    // A font equal to the stored one counts as new when other attributes are set explicitly.
    void setValue(QtProperty *property, const QFont &val);

private slots:
    void slotIntChanged(QtProperty *sub, int val);
    void slotEnumChanged(QtProperty *sub, int val);
    void slotBoolChanged(QtProperty *sub, bool val);
    void slotPropertyDestroyed(QtProperty *sub);
    void slotFontDatabaseChanged();
    void slotFontDatabaseDelayedChange();

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtFontPropertyManagerPrivate> d_ptr;
};
