#include "pages/pagebuilder.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStackedWidget>
#include <QTreeWidget>

namespace {

QString nodeName(const QJsonObject &node)
{
    return node.contains(QStringLiteral("name")) ? node.value(QStringLiteral("name")).toString()
                                                 : QString();
}

QTreeWidgetItem *makeItem(const QJsonObject &node)
{
    auto *item = new QTreeWidgetItem;
    item->setText(0, node.value(QStringLiteral("caption")).toString());
    item->setData(0, Qt::UserRole, nodeName(node));
    return item;
}

} // namespace

void PageBuilder::buildCustomUiTree(const QString &folder)
{
    if (!m_tree || !m_pages)
        return;
    const QString path = folder + QStringLiteral("/tree.json");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fault(QStringLiteral("Не удалось открыть дерево страниц %1: %2").arg(path, file.errorString()));
        return;
    }
    const QByteArray json = file.readAll();
    file.close();
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        fault(QStringLiteral("Дерево страниц %1 не прочитано: %2")
                  .arg(path, parseError.error != QJsonParseError::NoError
                                 ? parseError.errorString()
                                 : QStringLiteral("нет объекта верхнего уровня")));
        return;
    }

    auto addPage = [this](const QString &name) {
        auto *page = new QWidget;
        page->setObjectName(name);
        m_pages->addWidget(page);
    };
    const QJsonArray nodes = doc.object().value(QStringLiteral("nodes")).toArray();
    for (const QJsonValue &v : nodes) {
        const QJsonObject node = v.toObject();
        const QJsonArray children = node.value(QStringLiteral("nodes")).toArray();
        // A top-level node with children is a heading: an entry without a page.
        if (!nodeName(node).isEmpty() && children.isEmpty())
            addPage(nodeName(node));
        QTreeWidgetItem *item = makeItem(node);
        for (const QJsonValue &c : children) {
            const QJsonObject child = c.toObject();
            if (!nodeName(child).isEmpty())
                addPage(nodeName(child));
            item->addChild(makeItem(child)); // a child's own "nodes" are not read
        }
        m_tree->addTopLevelItem(item);
    }
    connect(m_tree, &QTreeWidget::currentItemChanged, this, &PageBuilder::onCustomUiTreeItmChanged,
            Qt::UniqueConnection);
}

void PageBuilder::onCustomUiTreeItmChanged(QTreeWidgetItem *current, QTreeWidgetItem *)
{
    if (!current || !m_pages)
        return;
    const QString name = current->data(0, Qt::UserRole).toString();
    for (int i = 0; i < m_pages->count(); ++i) {
        if (m_pages->widget(i)->objectName() == name) {
            m_pages->setCurrentIndex(i);
            return;
        }
    }
}
