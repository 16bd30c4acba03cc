#include "propertybrowser/qtfactoryregistry.h"

#include "propertybrowser/qtabstracteditorfactory.h"

#include <QGlobalStatic>
#include <QList>
#include <QMap>

namespace {

using ManagerToFactory = QMap<QtAbstractPropertyManager *, QtAbstractEditorFactoryBase *>;
using FactoryToBrowsers = QMap<QtAbstractEditorFactoryBase *, QList<QtAbstractPropertyBrowser *>>;
using BrowserMap = QMap<QtAbstractPropertyBrowser *, ManagerToFactory>;
using ManagerMap = QMap<QtAbstractPropertyManager *, FactoryToBrowsers>;

Q_GLOBAL_STATIC(BrowserMap, browserToManagerToFactory)
Q_GLOBAL_STATIC(ManagerMap, managerToFactoryToBrowsers)

// Lookups by address only: the object behind a key may be half destroyed.
template <class T>
T *key(const T *object)
{
    return const_cast<T *>(object);
}

bool registryGone()
{
    return browserToManagerToFactory.isDestroyed() || managerToFactoryToBrowsers.isDestroyed();
}

} // namespace

namespace QtFactoryRegistry {

bool bind(QtAbstractPropertyBrowser *browser, QtAbstractPropertyManager *manager,
          QtAbstractEditorFactoryBase *factory)
{
    if (registryGone())
        return false;
    bool connectNeeded = true;
    const auto managerIt = managerToFactoryToBrowsers()->constFind(manager);
    if (managerIt != managerToFactoryToBrowsers()->constEnd()) {
        const auto factoryIt = managerIt->constFind(factory);
        if (factoryIt != managerIt->constEnd()) {
            if (factoryIt->contains(browser))
                return false;
            connectNeeded = false;
        }
    }

    if (factoryFor(browser, manager))
        unbind(browser, manager);

    (*managerToFactoryToBrowsers())[manager][factory].append(browser);
    (*browserToManagerToFactory())[browser][manager] = factory;
    return connectNeeded;
}

void unbind(QtAbstractPropertyBrowser *browser, QtAbstractPropertyManager *manager)
{
    if (registryGone())
        return;
    auto browserIt = browserToManagerToFactory()->find(browser);
    if (browserIt == browserToManagerToFactory()->end())
        return;
    const auto bindingIt = browserIt->constFind(manager);
    if (bindingIt == browserIt->constEnd())
        return;
    QtAbstractEditorFactoryBase *factory = bindingIt.value();
    browserIt->remove(manager);
    if (browserIt->isEmpty())
        browserToManagerToFactory()->erase(browserIt);

    auto managerIt = managerToFactoryToBrowsers()->find(manager);
    if (managerIt == managerToFactoryToBrowsers()->end())
        return;
    auto factoryIt = managerIt->find(factory);
    if (factoryIt == managerIt->end())
        return;
    factoryIt->removeAll(browser);
    if (!factoryIt->isEmpty())
        return;
    managerIt->erase(factoryIt);
    if (managerIt->isEmpty())
        managerToFactoryToBrowsers()->erase(managerIt);
    factory->breakConnection(manager);
}

QtAbstractEditorFactoryBase *factoryFor(const QtAbstractPropertyBrowser *browser,
                                        const QtAbstractPropertyManager *manager)
{
    if (registryGone() || !browserToManagerToFactory.exists())
        return nullptr;
    const auto browserIt = browserToManagerToFactory()->constFind(key(browser));
    if (browserIt == browserToManagerToFactory()->constEnd())
        return nullptr;
    return browserIt->value(key(manager), nullptr);
}

void forgetBrowser(QtAbstractPropertyBrowser *browser)
{
    if (registryGone() || !browserToManagerToFactory.exists())
        return;
    const ManagerToFactory bindings = browserToManagerToFactory()->value(browser);
    for (auto it = bindings.cbegin(); it != bindings.cend(); ++it)
        unbind(browser, it.key());
}

void forgetManager(const QtAbstractPropertyManager *manager)
{
    if (registryGone() || !managerToFactoryToBrowsers.exists())
        return;
    managerToFactoryToBrowsers()->remove(key(manager));
    auto &browsers = *browserToManagerToFactory();
    for (auto it = browsers.begin(); it != browsers.end();) {
        it->remove(key(manager));
        it = it->isEmpty() ? browsers.erase(it) : std::next(it);
    }
}

void forgetFactory(const QtAbstractEditorFactoryBase *factory)
{
    if (registryGone() || !managerToFactoryToBrowsers.exists())
        return;
    auto &browsers = *browserToManagerToFactory();
    for (auto it = browsers.begin(); it != browsers.end();) {
        for (auto binding = it->begin(); binding != it->end();)
            binding = binding.value() == factory ? it->erase(binding) : std::next(binding);
        it = it->isEmpty() ? browsers.erase(it) : std::next(it);
    }
    auto &managers = *managerToFactoryToBrowsers();
    for (auto it = managers.begin(); it != managers.end();) {
        it->remove(key(factory));
        it = it->isEmpty() ? managers.erase(it) : std::next(it);
    }
}

} // namespace QtFactoryRegistry
