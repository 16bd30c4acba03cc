// An editor factory for integer properties that counts what the browsers and the
// registry ask of it: connectPropertyManager, disconnectPropertyManager and
// createEditor calls, and the values it pushes into each editor. Its editors are
// plain spin boxes; like every factory it registers an editor first, then writes
// the manager's value into it, and keeps open editors in step with valueChanged.
#pragma once

#include "propertybrowser/editorregistry.h"
#include "propertybrowser/qtabstracteditorfactory.h"
#include "propertybrowser/qtintpropertymanager.h"

#include <QHash>
#include <QSpinBox>

#include <memory>

class CountingFactory : public QtAbstractEditorFactory<QtIntPropertyManager>
{
    Q_OBJECT
public:
    explicit CountingFactory(QObject *parent = nullptr);
    // Deletes the editors it still tracks.
    ~CountingFactory() override;

    using QtAbstractEditorFactory<QtIntPropertyManager>::createEditor;

    int connects = 0;
    int disconnects = 0;
    int creates = 0;
    // Values pushed into the editor by the manager's changes.
    int pushes(const QObject *editor) const { return m_pushes.value(editor); }
    EditorRegistry<QSpinBox> &registry() { return *d_ptr; }

protected:
    void connectPropertyManager(QtIntPropertyManager *manager) override;
    QWidget *createEditor(QtIntPropertyManager *manager, QtProperty *property, QWidget *parent) override;
    void disconnectPropertyManager(QtIntPropertyManager *manager) override;

private slots:
    void slotPropertyChanged(QtProperty *property, int value);
    void slotEditorDestroyed(QObject *object);

private:
    std::unique_ptr<EditorRegistry<QSpinBox>> d_ptr;
    QHash<const QObject *, int> m_pushes;
};
