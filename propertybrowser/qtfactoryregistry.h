// The process-wide binding of editor factories to managers, per browser. Two maps,
// created on first use and destroyed at program exit (after that every lookup finds
// nothing and every change is ignored):
//   browser -> (manager -> factory): which factory makes a manager's editors there;
//   manager -> (factory -> browsers): which browsers use a factory for a manager.
//
// No entry outlives what it names: a browser's destructor unsets its bindings, and a
// destroyed manager or factory is forgotten by address, without any call into it.
//
// GUI thread only; not locked.
#pragma once

class QtAbstractEditorFactoryBase;
class QtAbstractPropertyBrowser;
class QtAbstractPropertyManager;

namespace QtFactoryRegistry {

// Binds `factory` to `manager` in `browser`, replacing the browser's earlier factory
// for it. True when the factory served the manager in no browser before, so the
// caller must connect the two; false also when the binding existed already.
bool bind(QtAbstractPropertyBrowser *browser, QtAbstractPropertyManager *manager,
          QtAbstractEditorFactoryBase *factory);

// Removes the browser's binding for the manager; the factory's breakConnection runs
// when this was its last browser for that manager.
void unbind(QtAbstractPropertyBrowser *browser, QtAbstractPropertyManager *manager);

// The browser's factory for the manager, or null.
QtAbstractEditorFactoryBase *factoryFor(const QtAbstractPropertyBrowser *browser,
                                        const QtAbstractPropertyManager *manager);

// Unbinds every manager of a browser that is going away.
void forgetBrowser(QtAbstractPropertyBrowser *browser);
// Drop every entry that names an object being destroyed; nothing is called on it.
void forgetManager(const QtAbstractPropertyManager *manager);
void forgetFactory(const QtAbstractEditorFactoryBase *factory);

} // namespace QtFactoryRegistry
