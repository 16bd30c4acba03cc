#include "pages/pagebuilder.h"

#include "pages/pagecontainers.h"
#include "pages/singleparamuicontroller.h"

#include <QSet>

namespace {

bool watches(const stDependence &rule, const CustomParam &param)
{
    return rule.index == param.index() && rule.subindex == param.subindex();
}

} // namespace

void PageBuilder::connectDependences()
{
    // One connection per matching rule: the evaluation checks the field itself.
    for (const auto &a : paramCtlList) {
        const QList<stDependence> rules = a->dependences();
        if (rules.isEmpty())
            continue;
        for (const auto &b : paramCtlList) {
            for (const stDependence &rule : rules) {
                if (watches(rule, *b->param()))
                    connect(b.get(), &SingleParamUIController::signalActionToDependent, a.get(),
                            &SingleParamUIController::slotExecDependentAction);
            }
        }
    }
}

void PageBuilder::connectGroupBoxes()
{
    QSet<SingleParamUIController *> connected;
    for (auto &entry : pageGroupMap) {
        PageGroupRecord &record = *entry.second;
        for (const auto &ctl : paramCtlList) {
            if (!watches(record.rule, *ctl->param()))
                continue;
            record.paramController = ctl.get(); // the last one built decides
            if (connected.contains(ctl.get()))
                continue;
            connected.insert(ctl.get());
            SingleParamUIController *sender = ctl.get();
            connect(sender, &SingleParamUIController::signalActionToDependent, this,
                    [this, sender] { slotChangeGroupBoxVisibility(sender); });
        }
    }
}

void PageBuilder::slotChangeGroupBoxVisibility(QObject *sender)
{
    for (auto &entry : pageGroupMap) {
        PageGroupRecord &record = *entry.second;
        if (!sender || record.paramController != sender || !record.groupBox)
            continue;
        const SPCustomParam param = record.paramController->param();
        const QSharedPointer<ParamDataType> type = param->dataType();
        if (!type)
            continue;
        const ParamDataField field = type->field(record.rule.fieldname);
        const QString text = valueToText(param->readField(record.rule.fieldname), field.type);
        // A group box rule always shows or hides, whatever its action says.
        record.groupBox->setVisible(record.rule.values.contains(text));
    }
}

QString PageBuilder::missingTarget(const stDependence &rule) const
{
    bool objectFound = false;
    for (const auto &ctl : paramCtlList) {
        const SPCustomParam param = ctl->param();
        if (!watches(rule, *param))
            continue;
        objectFound = true;
        if (param->dataType() && param->dataType()->hasField(rule.fieldname))
            return QString();
    }
    if (!objectFound)
        return QStringLiteral("объект \"%1:%2\", которого нет на страницах").arg(rule.index, rule.subindex);
    return QStringLiteral("поле \"%1\", которого нет в типе данных объекта \"%2:%3\"")
        .arg(rule.fieldname, rule.index, rule.subindex);
}

void PageBuilder::reportDanglingRules()
{
    const auto report = [this](const QObject *owner, const QString &who, const stDependence &rule) {
        const QString missing = missingTarget(rule);
        if (!missing.isEmpty())
            fault(QStringLiteral("Страница \"%1\", %2: правило зависимости указывает на %3")
                      .arg(m_pageOf.value(owner), who, missing));
    };
    for (const auto &ctl : paramCtlList) {
        const SPCustomParam param = ctl->param();
        const QString who = QStringLiteral("параметр \"%1\" (%2:%3)")
                                .arg(param->name(), param->index(), param->subindex());
        for (const stDependence &rule : ctl->dependences())
            report(ctl.get(), who, rule);
    }
    for (const auto &entry : pageGroupMap) {
        if (m_pageOf.contains(entry.first))
            report(entry.first, QStringLiteral("группа \"%1\"").arg(entry.first->objectName()), entry.second->rule);
    }
}
