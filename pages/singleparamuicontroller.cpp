#include "pages/singleparamuicontroller.h"

#include "pages/paramfielduicontroller.h"

#include "pages/guiinbox.h"

#include <QPointer>

SingleParamUIController::SingleParamUIController(const SPCustomParam &param,
                                                 const QList<stDependence> &rules,
                                                 QObject *parent)
    : QObject(parent), cParam(param), cDependences(rules)
{
    GuiInbox::ensure();
}

std::function<void(bool)> SingleParamUIController::completion(
    std::function<void(SingleParamUIController *, bool)> handler)
{
    QPointer<SingleParamUIController> self(this);
    return [self, handler](bool ok) {
        // Not posted to the controller itself: that could race with its deletion on
        // the GUI thread. The pointer is looked at there only.
        GuiInbox::post([self, handler, ok] {
            if (self)
                handler(self.data(), ok);
        });
    };
}

void SingleParamUIController::slotReadData()
{
    emit startReadParam(cParam, completion([](SingleParamUIController *c, bool ok) {
                            c->onReadFinished(ok);
                        }));
}

void SingleParamUIController::onReadFinished(bool ok)
{
    if (!ok)
        return;
    emit afterValueChanged(cParam);
    emit signalActionToDependent(cParam);
}

void SingleParamUIController::slotFieldChanged(QString fieldName, QVariant value)
{
    QString error;
    if (!cParam->writeField(fieldName, value, &error)) {
        emit toLog(QStringLiteral("Значение параметра \"%1\" не изменено: %2")
                       .arg(cParam->name(), error),
                   false);
        // The widget already shows the refused value; put the stored one back.
        if (auto *field = qobject_cast<ParamFieldUIController *>(sender())) {
            field->slotAfterParamValueChanged(cParam);
            field->slotChangeEditSelection(false);
        }
        return;
    }
    emit signalActionToDependent(cParam);
}

void SingleParamUIController::slotSaveData()
{
    if (!cParam->edited())
        return;
    if (!active) {
        showEditDropped(cParam->revertToDeviceValue());
        return;
    }
    SPCustomParam copy(cParam->cloneForWrite().release());
    const QByteArray written = copy->value();
    // The worker leaves in the copy what the write put into the object, which
    // may hold the edits of other records of the same object too.
    emit startSaveParam(copy, completion([written, copy](SingleParamUIController *c, bool ok) {
                            c->onSaveFinished(ok, written, *copy);
                        }));
}

void SingleParamUIController::onSaveFinished(bool ok, const QByteArray &written, const CustomParam &copy)
{
    // A failed write is reported by the data source. Either way the edit is done
    // with, unless the user changed the value again while it was being written.
    if (ok) {
        uint64_t stamp = 0;
        copy.deviceValue(&stamp);
        const CustomParam::WriteEnd end = cParam->wroteValue(written, copy.value(), stamp);
        // A field edit refreshes no other field, and the next read brings nothing
        // new: with the edit done, every field shows what the device now holds.
        if (end.valueChanged || end.markCleared) {
            emit afterValueChanged(cParam);
            emit signalActionToDependent(cParam);
        }
        if (end.markCleared)
            emit changeEditSelection(false);
        return;
    }
    // What the device holds is what the page shows again, so a later edit of
    // another field never carries these bytes along.
    if (cParam->revertIfValue(written))
        showEditDropped(true);
}

void SingleParamUIController::slotCancelEditing()
{
    showEditDropped(cParam->revertToDeviceValue());
}

void SingleParamUIController::showEditDropped(bool valueChanged)
{
    if (valueChanged) {
        emit afterValueChanged(cParam);
        emit signalActionToDependent(cParam);
    }
    emit changeEditSelection(false);
}

void SingleParamUIController::slotImport()
{
    cParam->setEdited(true);
    emit afterValueChanged(cParam);
    emit signalActionToDependent(cParam);
    emit changeEditSelection(true);
}

void SingleParamUIController::slotExecDependentAction(SPCustomParam spParam)
{
    if (!spParam || !spParam->dataType())
        return;
    const QList<stDependence> rules = cDependences;
    for (int i = 0; i < rules.size(); ++i) {
        const stDependence &rule = rules.at(i);
        if (rule.index != spParam->index() || rule.subindex != spParam->subindex())
            continue;
        if (rule.action != RuleActionEnable && rule.action != RuleActionShow)
            continue;
        const ParamDataField field = spParam->dataType()->field(rule.fieldname);
        const QString text = valueToText(spParam->readField(rule.fieldname), field.type);
        const bool matched = rule.values.contains(text);

        // A widget is enabled (shown) only while its rules on other objects of the same
        // kind held when last evaluated; results stored earlier in this pass count.
        bool result = matched;
        if (matched) {
            const QList<stDependence> current = cDependences;
            for (const stDependence &e : current) {
                if (e.index != rule.index && e.subindex != rule.subindex && e.action == rule.action)
                    result = result && (rule.action == RuleActionEnable ? e.enableResult : e.visibleResult);
            }
        }
        active = matched;
        if (rule.action == RuleActionEnable) {
            cDependences[i].enableResult = matched;
            emit signalSetWgtEnabled(result);
        } else {
            cDependences[i].visibleResult = matched;
            emit signalSetWgtVisible(result);
        }
    }
}
