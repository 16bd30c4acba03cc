#pragma once

#include <QHash>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <functional>

class QDataTypeWgt;
class QGroupBox;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;
class myLoader;
class SingleParamUIController;
struct stDependence;

// The folder of a device's page data: ConfigurationData/UiData/<device> beside the
// executable.
QString pageDataFolder(const QString &deviceName);

// Builds the configuration pages of one device from its page data folder into a page
// tree and a stacked widget, and tears them down again. The main window owns one and
// delegates to it; the built pages live in the containers of pagecontainers.h.
//
// The data source is reached by its slots `slotLoad(SPCustomParam,
// std::function<void(bool)>)` and `slotSave(SPCustomParam, std::function<void(bool)>)`
// (QCustomDS has them). Before anything is deleted the teardown runs the hook given to
// setBeforeTeardown, which must stop the data source's load worker and drop both
// workers' queues; after a build the caller starts the load worker and calls readAll().
//
// Faults in the page data (missing forms or types, malformed rules, an unreadable tree)
// skip the item concerned and are reported by toLog(text, false); the rest is built.
class PageBuilder : public QObject
{
    Q_OBJECT
public:
    PageBuilder(QTreeWidget *tree, QStackedWidget *pages, QObject *dataSource,
                QObject *parent = nullptr);
    ~PageBuilder() override;

    void setBeforeTeardown(std::function<void()> hook) { m_beforeTeardown = std::move(hook); }

    // Tears down whatever is built, then builds the pages of `folder`.
    void buildCustomUiPages(const QString &folder);
    // Empties the tree, the pages and every container.
    void clearCustomUi();

    // Set by a build, also when the device's data held no page or no parameter.
    bool isBuilt() const { return m_built; }
    QString builtFolder() const { return m_folder; }

    // Every page group asks the data source for its parameters' values.
    void readAll();

signals:
    void toLog(QString msg, bool success);

public slots:
    void slotBtnSaveAllClick();
    void slotBtnCancelAllClick();
    void onCustomUiTreeItmChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);
    void slotChangeGroupBoxVisibility(QObject *sender);

private:
    void buildCustomUiTree(const QString &folder);
    void buildPage(const QString &folder, QWidget *page);
    void readGroupBoxRules(QWidget *form, const QString &pageName);
    void buildParamWidget(const QString &folder, const QString &pageName, QDataTypeWgt *w, myLoader &loader);
    void bindFieldWidgets(QWidget *form, SingleParamUIController *ctl, const QString &paramName);
    void connectGroupButtons(QWidget *form);
    void connectDependences();
    void connectGroupBoxes();
    // After the whole build: one line per data type that parameters named but
    // the types lack, one per data-type form that could not be had, and one
    // per rule whose object or field no page has.
    void reportSkippedParams();
    void reportDanglingRules();
    // What a rule watches that no built parameter has, for the log; empty when
    // the object and its field exist.
    QString missingTarget(const stDependence &rule) const;
    bool isClean() const;
    void releaseAll();
    void fault(const QString &msg) { emit toLog(msg, false); }

    QPointer<QTreeWidget> m_tree;
    QPointer<QStackedWidget> m_pages;
    QPointer<QObject> m_dataSource;
    std::function<void()> m_beforeTeardown;
    bool m_built = false;
    QString m_folder;
    // Parameters skipped for one cause (an unknown type, a data-type form that
    // cannot be had): how many, and the first of them.
    struct Skipped {
        QString reason; // of the first; the same for all
        int count = 0;
        QString firstPage;
        QString firstParam;
    };
    void skip(QMap<QString, Skipped> &causes, const QString &cause, const QString &reason,
              const QString &page, const QString &param);
    // Of the build under way: parameters skipped per unknown type name and per
    // data-type form, and the page each controller and each group box with a
    // rule stands on.
    QMap<QString, Skipped> m_missingTypes;
    QMap<QString, Skipped> m_missingForms;
    QHash<const QObject *, QString> m_pageOf;
};
