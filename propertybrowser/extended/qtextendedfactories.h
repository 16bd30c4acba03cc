// The editor factories of the extended value types. Each makes one kind of editor,
// pushes the manager's changes into the open editors of a property (signals
// blocked, so nothing comes back as an edit) and writes the user's edits back with
// the manager's setValue:
//
//   QtLineEditFactory           string     -> QLineEdit, commits on Return
//   QtDateEditFactory           date       -> QDateEdit with calendar popup
//   QtTimeEditFactory           time       -> QTimeEdit
//   QtDateTimeEditFactory       date-time  -> QDateTimeEdit
//   QtKeySequenceEditorFactory  key seq.   -> QtKeySequenceEdit
//   QtCharEditorFactory         char       -> QtCharEdit
//   QtCursorEditorFactory       cursor     -> combo box of the cursor shapes
//   QtColorEditorFactory        colour     -> QtColorEditWidget
//   QtFontEditorFactory         font       -> QtFontEditWidget
//
// The line-edit, char, colour, font and cursor factories announce a pushed value
// once as the manager's valueUpdated; the date, time, date-time and key-sequence
// factories announce nothing. The date factory writes back even an unchanged date,
// so the manager announces it again; the line-edit factory writes the committing
// editor's text, announced again only for an editable property.
//
// The cursor factory edits a cursor property through a hidden enumeration property
// of its own (its twin, one per property with open editors) shown by an inner
// enumeration factory; editorCreated is emitted on that inner manager, for the twin,
// not on the cursor manager. A twin lives while one of its editors is open.
//
// A factory's destructor deletes the editors it still tracks (the cursor factory's
// through its inner factory). GUI thread only.
#pragma once

#include "propertybrowser/editorregistry.h"
#include "propertybrowser/extended/qtbuttoneditwidgets.h"
#include "propertybrowser/extended/qtcharpropertymanager.h"
#include "propertybrowser/extended/qtcolorpropertymanager.h"
#include "propertybrowser/extended/qtcursorpropertymanager.h"
#include "propertybrowser/extended/qtdatepropertymanager.h"
#include "propertybrowser/extended/qtdatetimepropertymanager.h"
#include "propertybrowser/extended/qtfontpropertymanager.h"
#include "propertybrowser/extended/qtkeyedits.h"
#include "propertybrowser/extended/qtkeysequencepropertymanager.h"
#include "propertybrowser/extended/qttimepropertymanager.h"
#include "propertybrowser/qtabstracteditorfactory.h"
#include "propertybrowser/qtstringpropertymanager.h"

#include <QDateEdit>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QTimeEdit>

#include <memory>

class QtLineEditFactory : public QtAbstractEditorFactory<QtStringPropertyManager>
{
    Q_OBJECT
public:
    explicit QtLineEditFactory(QObject *parent = nullptr);
    ~QtLineEditFactory() override;
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
    void slotEditorDestroyed(QObject *object);

private:
    std::unique_ptr<EditorRegistry<QLineEdit>> d_ptr;
};

class QtDateEditFactory : public QtAbstractEditorFactory<QtDatePropertyManager>
{
    Q_OBJECT
public:
    explicit QtDateEditFactory(QObject *parent = nullptr);
    ~QtDateEditFactory() override;
    using QtAbstractEditorFactory<QtDatePropertyManager>::createEditor;

protected:
    void connectPropertyManager(QtDatePropertyManager *manager) override;
    QWidget *createEditor(QtDatePropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtDatePropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, const QDate &value);
    // The new range, then the manager's value again.
    void slotRangeChanged(QtProperty *property, const QDate &min, const QDate &max);
    void slotSetValue(const QDate &value);
    void slotEditorDestroyed(QObject *object);

private:
    std::unique_ptr<EditorRegistry<QDateEdit>> d_ptr;
};

class QtTimeEditFactory : public QtAbstractEditorFactory<QtTimePropertyManager>
{
    Q_OBJECT
public:
    explicit QtTimeEditFactory(QObject *parent = nullptr);
    ~QtTimeEditFactory() override;
    using QtAbstractEditorFactory<QtTimePropertyManager>::createEditor;

protected:
    void connectPropertyManager(QtTimePropertyManager *manager) override;
    QWidget *createEditor(QtTimePropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtTimePropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, const QTime &value);
    void slotSetValue(const QTime &value);
    void slotEditorDestroyed(QObject *object);

private:
    std::unique_ptr<EditorRegistry<QTimeEdit>> d_ptr;
};

class QtDateTimeEditFactory : public QtAbstractEditorFactory<QtDateTimePropertyManager>
{
    Q_OBJECT
public:
    explicit QtDateTimeEditFactory(QObject *parent = nullptr);
    ~QtDateTimeEditFactory() override;
    using QtAbstractEditorFactory<QtDateTimePropertyManager>::createEditor;

protected:
    void connectPropertyManager(QtDateTimePropertyManager *manager) override;
    QWidget *createEditor(QtDateTimePropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtDateTimePropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, const QDateTime &value);
    void slotSetValue(const QDateTime &value);
    void slotEditorDestroyed(QObject *object);

private:
    std::unique_ptr<EditorRegistry<QDateTimeEdit>> d_ptr;
};

class QtKeySequenceEditorFactory : public QtAbstractEditorFactory<QtKeySequencePropertyManager>
{
    Q_OBJECT
public:
    explicit QtKeySequenceEditorFactory(QObject *parent = nullptr);
    ~QtKeySequenceEditorFactory() override;
    using QtAbstractEditorFactory<QtKeySequencePropertyManager>::createEditor;

protected:
    void connectPropertyManager(QtKeySequencePropertyManager *manager) override;
    QWidget *createEditor(QtKeySequencePropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtKeySequencePropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, const QKeySequence &value);
    void slotSetValue(const QKeySequence &value);
    void slotEditorDestroyed(QObject *object);

private:
    std::unique_ptr<EditorRegistry<QtKeySequenceEdit>> d_ptr;
};

class QtCharEditorFactory : public QtAbstractEditorFactory<QtCharPropertyManager>
{
    Q_OBJECT
public:
    explicit QtCharEditorFactory(QObject *parent = nullptr);
    ~QtCharEditorFactory() override;
    using QtAbstractEditorFactory<QtCharPropertyManager>::createEditor;

protected:
    void connectPropertyManager(QtCharPropertyManager *manager) override;
    QWidget *createEditor(QtCharPropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtCharPropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, const QChar &value);
    void slotSetValue(const QChar &value);
    void slotEditorDestroyed(QObject *object);

private:
    std::unique_ptr<EditorRegistry<QtCharEdit>> d_ptr;
};

class QtCursorEditorFactoryPrivate;

class QtCursorEditorFactory : public QtAbstractEditorFactory<QtCursorPropertyManager>
{
    Q_OBJECT
public:
    explicit QtCursorEditorFactory(QObject *parent = nullptr);
    ~QtCursorEditorFactory() override;
    using QtAbstractEditorFactory<QtCursorPropertyManager>::createEditor;

protected:
    void connectPropertyManager(QtCursorPropertyManager *manager) override;
    QWidget *createEditor(QtCursorPropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtCursorPropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, const QCursor &cursor);
    // A shape picked in a twin's editor.
    void slotEnumChanged(QtProperty *twin, int value);
    void slotEditorDestroyed(QObject *object);

private:
    std::unique_ptr<QtCursorEditorFactoryPrivate> d_ptr;
};

class QtColorEditorFactory : public QtAbstractEditorFactory<QtColorPropertyManager>
{
    Q_OBJECT
public:
    explicit QtColorEditorFactory(QObject *parent = nullptr);
    ~QtColorEditorFactory() override;
    using QtAbstractEditorFactory<QtColorPropertyManager>::createEditor;

protected:
    void connectPropertyManager(QtColorPropertyManager *manager) override;
    QWidget *createEditor(QtColorPropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtColorPropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, const QColor &value);
    void slotEditorDestroyed(QObject *object);
    void slotSetValue(const QColor &value);

private:
    std::unique_ptr<EditorRegistry<QtColorEditWidget>> d_ptr;
};

class QtFontEditorFactory : public QtAbstractEditorFactory<QtFontPropertyManager>
{
    Q_OBJECT
public:
    explicit QtFontEditorFactory(QObject *parent = nullptr);
    ~QtFontEditorFactory() override;
    using QtAbstractEditorFactory<QtFontPropertyManager>::createEditor;

protected:
    void connectPropertyManager(QtFontPropertyManager *manager) override;
    QWidget *createEditor(QtFontPropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtFontPropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, const QFont &value);
    void slotEditorDestroyed(QObject *object);
    void slotSetValue(const QFont &value);

private:
    std::unique_ptr<EditorRegistry<QtFontEditWidget>> d_ptr;
};
