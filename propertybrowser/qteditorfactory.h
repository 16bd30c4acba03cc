// The eight editor factories of the basic value managers. Each makes one kind of
// editor, copies every attribute change of a property into the property's open
// editors (signals blocked, so nothing comes back as an edit) and writes what the
// user commits back into the manager with setValue. After pushing a value change
// into the open editors of a property, a factory announces it as the manager's
// valueUpdated, whether or not an editor needed the change and whoever made it; a
// property without editors of the factory gets no valueUpdated from it.
//
//   QtSpinBoxFactory       int    -> QSpinBox
//   QtSpinBoxFactory2      int    -> QtSpinBoxEditWidget2 (button -> scriptCalled)
//   QtSliderFactory        int    -> QSlider, horizontal
//   QtScrollBarFactory     int    -> QScrollBar, horizontal
//   QtCheckBoxFactory      bool   -> QtBoolEdit
//   QtDoubleSpinBoxFactory double -> QtDoubleSpinBox2
//   QtLineEditFactory2     string -> QtLineEditWidget2 (button -> btnClicked)
//   QtEnumEditorFactory    enum   -> QComboBox
// The spin box with button, the double spin box and the line edit with button
// commit only on Return or Enter; an editable one announces the committed value
// even when it did not change, a read-only one only a change. The button's caption
// and visibility reach an editor only when it is made.
//
// A factory's destructor deletes the editors it still tracks. GUI thread only.
#pragma once

#include "propertybrowser/editorregistry.h"
#include "propertybrowser/qtabstracteditorfactory.h"
#include "propertybrowser/qtboolpropertymanager.h"
#include "propertybrowser/qtdoublepropertymanager.h"
#include "propertybrowser/qteditingwidgets.h"
#include "propertybrowser/qtenumpropertymanager.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtstringpropertymanager.h"

#include <QComboBox>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>

#include <memory>

class QtSpinBoxFactory : public QtAbstractEditorFactory<QtIntPropertyManager>
{
    Q_OBJECT
public:
    explicit QtSpinBoxFactory(QObject *parent = nullptr);
    ~QtSpinBoxFactory() override;
    using QtAbstractEditorFactory<QtIntPropertyManager>::createEditor;

protected:
    void connectPropertyManager(QtIntPropertyManager *manager) override;
    QWidget *createEditor(QtIntPropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtIntPropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, int value);
    void slotRangeChanged(QtProperty *property, int minimum, int maximum);
    void slotSingleStepChanged(QtProperty *property, int step);
    void slotReadOnlyChanged(QtProperty *property, bool readOnly);
    void slotSetValue(int value);
    void slotEditorDestroyed(QObject *object);

private:
    std::unique_ptr<EditorRegistry<QSpinBox>> d_ptr;
};

class QtSpinBoxFactory2 : public QtAbstractEditorFactory<QtIntPropertyManager>
{
    Q_OBJECT
public:
    explicit QtSpinBoxFactory2(QObject *parent = nullptr);
    ~QtSpinBoxFactory2() override;
    using QtAbstractEditorFactory<QtIntPropertyManager>::createEditor;

protected:
    void connectPropertyManager(QtIntPropertyManager *manager) override;
    QWidget *createEditor(QtIntPropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtIntPropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, int value);
    void slotRangeChanged(QtProperty *property, int minimum, int maximum);
    void slotSingleStepChanged(QtProperty *property, int step);
    void slotReadOnlyChanged(QtProperty *property, bool readOnly);
    void slotSetValue(int value);
    void slotScriptCalled();
    void slotEditorDestroyed(QObject *object);

private:
    std::unique_ptr<EditorRegistry<QtSpinBoxEditWidget2>> d_ptr;
};

class QtSliderFactory : public QtAbstractEditorFactory<QtIntPropertyManager>
{
    Q_OBJECT
public:
    explicit QtSliderFactory(QObject *parent = nullptr);
    ~QtSliderFactory() override;
    using QtAbstractEditorFactory<QtIntPropertyManager>::createEditor;

protected:
    void connectPropertyManager(QtIntPropertyManager *manager) override;
    QWidget *createEditor(QtIntPropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtIntPropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, int value);
    void slotRangeChanged(QtProperty *property, int minimum, int maximum);
    void slotSingleStepChanged(QtProperty *property, int step);
    void slotSetValue(int value);
    void slotEditorDestroyed(QObject *object);

private:
    std::unique_ptr<EditorRegistry<QSlider>> d_ptr;
};

class QtScrollBarFactory : public QtAbstractEditorFactory<QtIntPropertyManager>
{
    Q_OBJECT
public:
    explicit QtScrollBarFactory(QObject *parent = nullptr);
    ~QtScrollBarFactory() override;
    using QtAbstractEditorFactory<QtIntPropertyManager>::createEditor;

protected:
    void connectPropertyManager(QtIntPropertyManager *manager) override;
    QWidget *createEditor(QtIntPropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtIntPropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, int value);
    void slotRangeChanged(QtProperty *property, int minimum, int maximum);
    void slotSingleStepChanged(QtProperty *property, int step);
    void slotSetValue(int value);
    void slotEditorDestroyed(QObject *object);

private:
    std::unique_ptr<EditorRegistry<QScrollBar>> d_ptr;
};

class QtCheckBoxFactory : public QtAbstractEditorFactory<QtBoolPropertyManager>
{
    Q_OBJECT
public:
    explicit QtCheckBoxFactory(QObject *parent = nullptr);
    ~QtCheckBoxFactory() override;
    using QtAbstractEditorFactory<QtBoolPropertyManager>::createEditor;

protected:
    void connectPropertyManager(QtBoolPropertyManager *manager) override;
    QWidget *createEditor(QtBoolPropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtBoolPropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, bool value);
    void slotTextVisibleChanged(QtProperty *property, bool textVisible);
    void slotSetValue(bool value);
    void slotEditorDestroyed(QObject *object);

private:
    std::unique_ptr<EditorRegistry<QtBoolEdit>> d_ptr;
};

class QtDoubleSpinBoxFactory : public QtAbstractEditorFactory<QtDoublePropertyManager>
{
    Q_OBJECT
public:
    explicit QtDoubleSpinBoxFactory(QObject *parent = nullptr);
    ~QtDoubleSpinBoxFactory() override;
    using QtAbstractEditorFactory<QtDoublePropertyManager>::createEditor;

    // True while the value of `property` is being announced because its editor
    // was committed as it showed the property's value, untyped and unstepped.
    // The editor holds the value rounded to its decimals, so such a commit
    // stands for the property's own value rather than the number it carries;
    // false for a number the user typed or stepped to and for any other change,
    // also for one that a handler makes while the commit is announced.
    bool isUntouchedCommit(QtProperty *property) const;

protected:
    void connectPropertyManager(QtDoublePropertyManager *manager) override;
    QWidget *createEditor(QtDoublePropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtDoublePropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, double value);
    void slotRangeChanged(QtProperty *property, double minimum, double maximum);
    void slotSingleStepChanged(QtProperty *property, double step);
    void slotDecimalsChanged(QtProperty *property, int prec);
    void slotReadOnlyChanged(QtProperty *property, bool readOnly);
    void slotSetValue();
    void slotEditorDestroyed(QObject *object);

private:
    // The commit under way: its property when untouched, its manager, and how many
    // of the manager's value setters run while it announces its own value.
    struct Commit
    {
        QtProperty *untouched = nullptr;
        QtDoublePropertyManager *manager = nullptr;
        int setters = 0;
    };

    std::unique_ptr<EditorRegistry<QtDoubleSpinBox2>> d_ptr;
    Commit m_commit;
};

class QtLineEditFactory2 : public QtAbstractEditorFactory<QtStringPropertyManager>
{
    Q_OBJECT
public:
    explicit QtLineEditFactory2(QObject *parent = nullptr);
    ~QtLineEditFactory2() override;
    using QtAbstractEditorFactory<QtStringPropertyManager>::createEditor;

protected:
    void connectPropertyManager(QtStringPropertyManager *manager) override;
    QWidget *createEditor(QtStringPropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtStringPropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, const QString &value);
    void slotRegExpChanged(QtProperty *property, const QRegExp &regExp);
    void slotInputMaskChanged(QtProperty *property, const QString &inputMask);
    void slotEchoModeChanged(QtProperty *property, int echoMode);
    void slotReadOnlyChanged(QtProperty *property, bool readOnly);
    void slotSetValue();
    void slotBtnClicked();
    void slotEditorDestroyed(QObject *object);

private:
    std::unique_ptr<EditorRegistry<QtLineEditWidget2>> d_ptr;
};

class QtEnumEditorFactory : public QtAbstractEditorFactory<QtEnumPropertyManager>
{
    Q_OBJECT
public:
    explicit QtEnumEditorFactory(QObject *parent = nullptr);
    ~QtEnumEditorFactory() override;
    using QtAbstractEditorFactory<QtEnumPropertyManager>::createEditor;

protected:
    void connectPropertyManager(QtEnumPropertyManager *manager) override;
    QWidget *createEditor(QtEnumPropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtEnumPropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, int value);
    // Moves the combo boxes without announcing valueUpdated.
    void slotPropertyChangedNoUpdate(QtProperty *property, int value);
    void slotEnumNamesChanged(QtProperty *property, const QStringList &names);
    // Not connected to the manager: icons reach open editors when the names change.
    void slotEnumIconsChanged(QtProperty *property, const QMap<int, QIcon> &icons);
    void slotSetValue(int value);
    void slotEditorDestroyed(QObject *object);

private:
    std::unique_ptr<EditorRegistry<QComboBox>> d_ptr;
};
