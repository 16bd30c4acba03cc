#pragma once

#include <QPushButton>

// Saves ("save") or cancels ("cancel") the edits of one parameter group.
class QGroupBtnWgt : public QPushButton
{
    Q_OBJECT
    Q_PROPERTY(QString groupName READ groupName WRITE setGroupName)
    Q_PROPERTY(QString actionName READ actionName WRITE setActionName)

public:
    explicit QGroupBtnWgt(QWidget *parent = nullptr) : QPushButton(parent) {}

    QString groupName() const { return m_groupName; }
    void setGroupName(const QString &v) { m_groupName = v; }
    QString actionName() const { return m_actionName; }
    void setActionName(const QString &v) { m_actionName = v; }

private:
    QString m_groupName;
    QString m_actionName;
};
