// Text properties with a validating expression, an input mask, an echo mode, a
// read-only flag and an optional action button on their editor. A text that the
// expression refuses is ignored silently; every real change is announced by
// propertyChanged, then valueChanged.
#pragma once

#include "propertybrowser/qtproperty.h"

#include <QLineEdit>
#include <QRegExp>

#include <memory>

class QtStringPropertyManagerPrivate;

class QtStringPropertyManager : public QtAbstractPropertyManager
{
    Q_OBJECT
public:
    explicit QtStringPropertyManager(QObject *parent = nullptr);
    ~QtStringPropertyManager() override;

    // A property this manager does not hold reads an empty text, false or a
    // default (invalid) expression.
    QString value(const QtProperty *property) const;
    QRegExp regExp(const QtProperty *property) const;
    QString inputMask(const QtProperty *property) const;
    bool isReadOnly(const QtProperty *property) const;
    bool isBtnVisible(const QtProperty *property) const;
    QString btnCaption(const QtProperty *property) const;

    QString valueText(const QtProperty *property) const override;
    // The text as a line edit with the property's echo mode shows it.
    QString displayText(const QtProperty *property) const override;
    int echoMode(const QtProperty *property) const override;

signals:
    void valueChanged(QtProperty *property, const QString &val);
    // Emitted by the editor factories once they have pushed a change into the editors.
    void valueUpdated(QtProperty *property, const QString &val);
    void regExpChanged(QtProperty *property, const QRegExp &regExp);
    void echoModeChanged(QtProperty *property, int echoMode);
    void readOnlyChanged(QtProperty *property, bool readOnly);
    // Emitted by the editor factory when an editor's action button is pressed.
    void btnClicked(QtProperty *property);
    // Declared for the editor factory to listen to; nothing here emits it.
    void editEnded(QtProperty *property);
    // So that open editors follow a changed mask.
    void inputMaskChanged(QtProperty *property, const QString &inputMask);

public slots:
    // Without onlyIfChanged an unchanged text is announced again.
    void setValue(QtProperty *property, const QString &val, bool onlyIfChanged);
    void setValue(QtProperty *property, const QString &val);
    // The stored text is not checked again.
    void setRegExp(QtProperty *property, const QRegExp &regExp);
    void setInputMask(QtProperty *property, const QString &inputMask);
    void setEchoMode(QtProperty *property, QLineEdit::EchoMode echoMode);
    void setReadOnly(QtProperty *property, bool readOnly);
    // The editor takes the button's settings when it is made; no signal reaches open editors.
    void setBtnVisibility(QtProperty *property, bool visible);
    void setBtnCaption(QtProperty *property, const QString &caption);

protected:
    void initializeProperty(QtProperty *property) override;
    void uninitializeProperty(QtProperty *property) override;

private:
    std::unique_ptr<QtStringPropertyManagerPrivate> d_ptr;
};
