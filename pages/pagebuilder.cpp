#include "pages/pagebuilder.h"

#include "pages/datasourceworker.h"
#include "pages/myloader.h"
#include "pages/pagecontainers.h"
#include "pages/paramfielduicontroller.h"
#include "pages/paramsgroupctl.h"
#include "pages/qcheckboxwgt.h"
#include "pages/qcombowgt.h"
#include "pages/qdatatypewgt.h"
#include "pages/qgroupbtnwgt.h"
#include "pages/qlabelwgt.h"
#include "pages/qlineeditwgt.h"
#include "pages/singleparamuicontroller.h"

#include <QCoreApplication>
#include <QFile>
#include <QGridLayout>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTreeWidget>

QString pageDataFolder(const QString &deviceName)
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ConfigurationData/UiData/")
        + deviceName;
}

PageBuilder::PageBuilder(QTreeWidget *tree, QStackedWidget *pages, QObject *dataSource,
                         QObject *parent)
    : QObject(parent), m_tree(tree), m_pages(pages), m_dataSource(dataSource)
{
}

PageBuilder::~PageBuilder()
{
    // The data source may be gone by now; its workers hold parameters shared and reach
    // controllers only through guarded completions, so releasing is safe without it.
    releaseAll();
}

bool PageBuilder::isClean() const
{
    return !m_built && pageGroupMap.empty() && groupCtlMap.isEmpty() && paramFieldCtlList.empty()
        && paramCtlList.empty() && paramCtlMap.isEmpty() && dataTypeMap.isEmpty()
        && dataTypeWgtList.isEmpty() && (!m_tree || m_tree->topLevelItemCount() == 0)
        && (!m_pages || m_pages->count() == 0);
}

void PageBuilder::buildCustomUiPages(const QString &folder)
{
    // Whatever an earlier build left (pages without parameters included) goes first, so
    // pages never pile up.
    if (!isClean())
        clearCustomUi();
    m_built = true;
    m_folder = folder;
    m_missingTypes.clear();
    m_missingForms.clear();
    m_pageOf.clear();

    for (const QString &line : loadDataTypes(folder))
        fault(line);
    buildCustomUiTree(folder);
    if (m_pages) {
        for (int i = 0; i < m_pages->count(); ++i)
            buildPage(folder, m_pages->widget(i));
    }
    connectDependences();
    connectGroupBoxes();
    reportSkippedParams();
    reportDanglingRules();
    m_pageOf.clear();
}

void PageBuilder::skip(QMap<QString, Skipped> &causes, const QString &cause, const QString &reason,
                       const QString &page, const QString &param)
{
    Skipped &s = causes[cause];
    if (s.count++ == 0) {
        s.reason = reason;
        s.firstPage = page;
        s.firstParam = param;
    }
}

void PageBuilder::reportSkippedParams()
{
    const auto tell = [this](const QMap<QString, Skipped> &causes) {
        for (const Skipped &s : causes)
            fault(QStringLiteral("%1: пропущено параметров: %2, первый: страница \"%3\", параметр %4")
                      .arg(s.reason, QString::number(s.count), s.firstPage, s.firstParam));
    };
    tell(m_missingTypes);
    tell(m_missingForms);
    m_missingTypes.clear();
    m_missingForms.clear();
}

void PageBuilder::buildPage(const QString &folder, QWidget *page)
{
    const QString path = folder + QLatin1Char('/') + page->objectName() + QStringLiteral(".ui");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fault(QStringLiteral("Не удалось открыть форму страницы %1: %2").arg(path, file.errorString()));
        return;
    }
    myLoader loader;
    loader.addPluginPath(folder);
    QWidget *form = loader.load(&file, page);
    file.close();
    if (!form) {
        fault(QStringLiteral("Не удалось загрузить форму страницы %1: %2").arg(path, loader.errorString()));
        return;
    }

    // Only the page's own widgets: the data-type forms are not loaded yet.
    const QList<QDataTypeWgt *> params = form->findChildren<QDataTypeWgt *>();
    dataTypeWgtList.clear();
    for (QDataTypeWgt *w : params)
        dataTypeWgtList.append(w);
    readGroupBoxRules(form, page->objectName());
    const size_t before = paramCtlList.size();
    for (QDataTypeWgt *w : params)
        buildParamWidget(folder, page->objectName(), w, loader);
    for (size_t i = before; i < paramCtlList.size(); ++i)
        m_pageOf.insert(paramCtlList[i].get(), page->objectName());
    connectGroupButtons(form);

    auto *scroll = new QScrollArea(page);
    scroll->setWidgetResizable(true);
    scroll->setWidget(form);
    auto *layout = new QGridLayout(page);
    layout->addWidget(scroll, 0, 0);
}

void PageBuilder::readGroupBoxRules(QWidget *form, const QString &pageName)
{
    for (QGroupBox *box : form->findChildren<QGroupBox *>()) {
        const QString text = box->property("dependencies").toString();
        if (text.isEmpty())
            continue;
        QStringList errors;
        const QList<stDependence> rules = parseDependences(text, &errors);
        for (const QString &e : errors)
            fault(QStringLiteral("Правило видимости группы \"%1\": %2").arg(box->objectName(), e));
        // Nothing readable: the box keeps the visibility its form gave it.
        if (!errors.isEmpty() && rules.isEmpty())
            continue;
        auto record = std::make_unique<PageGroupRecord>();
        record->groupBox = box;
        if (!rules.isEmpty())
            record->rule = rules.last(); // a group box follows one rule, the last
        pageGroupMap[box] = std::move(record);
        // A box whose list holds no rule has nothing that could point astray.
        if (!rules.isEmpty())
            m_pageOf.insert(box, pageName);
    }
}

void PageBuilder::buildParamWidget(const QString &folder, const QString &pageName, QDataTypeWgt *w,
                                   myLoader &loader)
{
    w->setFrameShape(QFrame::NoFrame);
    const QString where = QStringLiteral("\"%1\" (%2:%3)").arg(w->paramName(), w->index(), w->subIndex());

    // An address that is no number names no object: the field would stay empty
    // and never be read.
    uint16_t index = 0;
    uint8_t subIndex = 0;
    const bool indexOk = parseObjectAddress(w->index(), QStringLiteral("0"), &index, &subIndex);
    if (!indexOk || !parseObjectAddress(w->index(), w->subIndex(), &index, &subIndex)) {
        fault(QStringLiteral("Страница \"%1\", параметр \"%2\": %3 \"%4\" не является шестнадцатеричным "
                             "числом до %5; параметр пропущен")
                  .arg(pageName, w->paramName(),
                       indexOk ? QStringLiteral("субиндекс объекта") : QStringLiteral("индекс объекта"),
                       indexOk ? w->subIndex() : w->index(),
                       indexOk ? QStringLiteral("FF") : QStringLiteral("FFFF")));
        return;
    }

    // Said once per type and per form when the build is done: one bad type or
    // form may stand behind many parameters.
    const QSharedPointer<ParamDataType> type = dataTypeMap.value(w->CDataType());
    if (!type) {
        skip(m_missingTypes, w->CDataType(), QStringLiteral("Тип данных \"%1\" не описан").arg(w->CDataType()),
             pageName, where);
        return;
    }
    const QString path = folder + QLatin1Char('/') + w->CDataType().toLower() + QStringLiteral(".ui");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        skip(m_missingForms, path,
             QStringLiteral("Не удалось открыть форму типа данных %1: %2").arg(path, file.errorString()), pageName,
             where);
        return;
    }
    auto *layout = new QGridLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QWidget *form = loader.load(&file, w);
    file.close();
    if (!form) {
        skip(m_missingForms, path,
             QStringLiteral("Не удалось загрузить форму типа данных %1: %2").arg(path, loader.errorString()),
             pageName, where);
        return;
    }
    // In the layout, so that the parameter's frame takes the size of its form.
    layout->addWidget(form, 0, 0);
    w->adjustSize();

    QStringList errors;
    const QList<stDependence> rules = parseDependences(w->dependences(), &errors);
    for (const QString &e : errors)
        fault(QStringLiteral("Правило зависимостей параметра %1: %2").arg(where, e));

    QSharedPointer<ParamsGroupCtl> group = groupCtlMap.value(w->groupName());
    if (!group) {
        group = QSharedPointer<ParamsGroupCtl>::create();
        groupCtlMap.insert(w->groupName(), group);
    }
    const SPCustomParam param = SPCustomParam::create(w->index(), w->subIndex(), w->paramName(),
                                                      type, w->loggingEnabled(), w->exportEnabled());
    paramCtlMap.insert(paramKey(w->index(), w->subIndex(), w->paramName()), param);
    paramCtlList.push_back(std::make_unique<SingleParamUIController>(param, rules));
    SingleParamUIController *ctl = paramCtlList.back().get();

    connect(ctl, &SingleParamUIController::signalSetWgtEnabled, w, &QWidget::setEnabled);
    connect(ctl, &SingleParamUIController::signalSetWgtVisible, w, &QWidget::setVisible);
    connect(group.data(), &ParamsGroupCtl::startSave, ctl, &SingleParamUIController::slotSaveData);
    connect(group.data(), &ParamsGroupCtl::startRead, ctl, &SingleParamUIController::slotReadData);
    connect(group.data(), &ParamsGroupCtl::signalCancelEditing, ctl,
            &SingleParamUIController::slotCancelEditing);
    connect(ctl, &SingleParamUIController::toLog, this, &PageBuilder::toLog);
    if (m_dataSource) {
        connect(ctl, SIGNAL(startReadParam(SPCustomParam, std::function<void(bool)>)), m_dataSource,
                SLOT(slotLoad(SPCustomParam, std::function<void(bool)>)));
        connect(ctl, SIGNAL(startSaveParam(SPCustomParam, std::function<void(bool)>)), m_dataSource,
                SLOT(slotSave(SPCustomParam, std::function<void(bool)>)));
    }
    bindFieldWidgets(form, ctl, where);
}

namespace {

// Wires a field widget that reports edits, in both directions.
template <class Widget>
void bindEditable(Widget *wgt, ParamFieldUIController *field, SingleParamUIController *ctl)
{
    QObject::connect(field, &ParamFieldUIController::signalChangeWgtSelection, wgt,
                     &Widget::slotChangeSelection);
    QObject::connect(wgt, &Widget::signalValueChanged, field,
                     &ParamFieldUIController::slotAfterWgtValueChanged);
    QObject::connect(ctl, &SingleParamUIController::changeEditSelection, field,
                     &ParamFieldUIController::slotChangeEditSelection);
    QObject::connect(field, &ParamFieldUIController::signalToParamUiCtlOnValueChanged, ctl,
                     &SingleParamUIController::slotFieldChanged);
}

template <class Widget>
ParamFieldUIController *bindShown(Widget *wgt, SingleParamUIController *ctl)
{
    paramFieldCtlList.push_back(std::make_unique<ParamFieldUIController>(wgt->CDataField()));
    ParamFieldUIController *field = paramFieldCtlList.back().get();
    QObject::connect(field, &ParamFieldUIController::signalToWgtOnValueChanged, wgt,
                     &Widget::slotFromParamOnValueChange);
    QObject::connect(ctl, &SingleParamUIController::afterValueChanged, field,
                     &ParamFieldUIController::slotAfterParamValueChanged);
    return field;
}

} // namespace

void PageBuilder::bindFieldWidgets(QWidget *form, SingleParamUIController *ctl, const QString &where)
{
    const QList<QLineEditWgt *> edits = form->findChildren<QLineEditWgt *>();
    const QList<QComboWgt *> combos = form->findChildren<QComboWgt *>();
    const QList<QLabelWgt *> labels = form->findChildren<QLabelWgt *>();
    const QList<QCheckBoxWgt *> checks = form->findChildren<QCheckBoxWgt *>();
    const QSharedPointer<ParamDataType> type = ctl->param()->dataType();

    // An unknown field reads as the default entry (an "int8" at bit 0); edits of it are
    // refused. Said once per widget, here, rather than on every edit.
    auto lookUp = [&](const QString &name) {
        if (!type->hasField(name))
            fault(QStringLiteral("Параметр %1: поле \"%2\" не описано в типе данных \"%3\"")
                      .arg(where, name, type->name()));
        return type->field(name);
    };

    for (QLineEditWgt *wgt : edits) {
        wgt->setupValidator(lookUp(wgt->CDataField()));
        bindEditable(wgt, bindShown(wgt, ctl), ctl);
    }
    for (QComboWgt *wgt : combos) {
        wgt->fill(lookUp(wgt->CDataField()).commonValues);
        bindEditable(wgt, bindShown(wgt, ctl), ctl);
    }
    for (QLabelWgt *wgt : labels) {
        lookUp(wgt->CDataField());
        bindShown(wgt, ctl);
    }
    for (QCheckBoxWgt *wgt : checks) {
        lookUp(wgt->CDataField());
        if (wgt->CReadOnly()) {
            wgt->setAttribute(Qt::WA_TransparentForMouseEvents, true);
            wgt->setFocusPolicy(Qt::NoFocus);
        }
        bindEditable(wgt, bindShown(wgt, ctl), ctl);
    }
}

void PageBuilder::connectGroupButtons(QWidget *form)
{
    for (QGroupBtnWgt *btn : form->findChildren<QGroupBtnWgt *>()) {
        const QSharedPointer<ParamsGroupCtl> group = groupCtlMap.value(btn->groupName());
        if (!group)
            continue;
        if (btn->actionName() == QLatin1String("save"))
            connect(btn, &QAbstractButton::clicked, group.data(), &ParamsGroupCtl::write);
        else if (btn->actionName() == QLatin1String("cancel"))
            connect(btn, &QAbstractButton::clicked, group.data(), &ParamsGroupCtl::slotCancelEditing);
    }
}

void PageBuilder::readAll()
{
    for (const QSharedPointer<ParamsGroupCtl> &group : qAsConst(groupCtlMap))
        group->read();
}

void PageBuilder::slotBtnSaveAllClick()
{
    for (const QSharedPointer<ParamsGroupCtl> &group : qAsConst(groupCtlMap))
        group->write();
}

void PageBuilder::slotBtnCancelAllClick()
{
    for (const QSharedPointer<ParamsGroupCtl> &group : qAsConst(groupCtlMap))
        group->slotCancelEditing();
}

void PageBuilder::clearCustomUi()
{
    // No worker may hold a request of a controller that is about to go.
    if (m_beforeTeardown)
        m_beforeTeardown();
    if (m_tree)
        disconnect(m_tree, &QTreeWidget::currentItemChanged, this,
                   &PageBuilder::onCustomUiTreeItmChanged);
    releaseAll();
    if (m_tree)
        m_tree->clear();
    if (m_pages) {
        for (int i = m_pages->count() - 1; i >= 0; --i) {
            QWidget *page = m_pages->widget(i);
            m_pages->removeWidget(page);
            delete page;
        }
    }
    m_built = false;
    m_folder.clear();
}

void PageBuilder::releaseAll()
{
    dataTypeMap.clear();
    for (const QPointer<QDataTypeWgt> &w : qAsConst(dataTypeWgtList)) {
        if (w) {
            w->disconnect();
            delete w.data();
        }
    }
    dataTypeWgtList.clear();
    paramCtlMap.clear();
    for (const auto &ctl : paramCtlList)
        ctl->disconnect();
    paramCtlList.clear();
    for (const auto &field : paramFieldCtlList)
        field->disconnect();
    paramFieldCtlList.clear();
    groupCtlMap.clear();
    pageGroupMap.clear();
}
