#pragma once

#include <QFrame>

// Stands for one device parameter on a page form; the form of its data type is
// loaded into it when the page is built.
class QDataTypeWgt : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QString CDataType READ CDataType WRITE setCDataType)
    Q_PROPERTY(QString paramName READ paramName WRITE setParamName)
    Q_PROPERTY(QString index READ index WRITE setIndex)
    Q_PROPERTY(QString subIndex READ subIndex WRITE setSubIndex)
    Q_PROPERTY(QString groupName READ groupName WRITE setGroupName)
    Q_PROPERTY(QString dependences READ dependences WRITE setDependences)
    Q_PROPERTY(bool visibleFlag READ visibleFlag WRITE setVisibleFlag)
    Q_PROPERTY(bool loggingEnabled READ loggingEnabled WRITE setLoggingEnabled)
    Q_PROPERTY(bool exportEnabled READ exportEnabled WRITE setExportEnabled)

public:
    explicit QDataTypeWgt(QWidget *parent = nullptr);

    QSize sizeHint() const override { return QSize(50, 50); }

    QString CDataType() const { return m_dataType; }
    void setCDataType(const QString &v) { m_dataType = v; }
    QString paramName() const { return m_paramName; }
    void setParamName(const QString &v) { m_paramName = v; }
    QString index() const { return m_index; }
    void setIndex(const QString &v) { m_index = v; }
    QString subIndex() const { return m_subIndex; }
    void setSubIndex(const QString &v) { m_subIndex = v; }
    QString groupName() const { return m_groupName; }
    void setGroupName(const QString &v) { m_groupName = v; }
    QString dependences() const { return m_dependences; }
    void setDependences(const QString &v) { m_dependences = v; }
    bool visibleFlag() const { return m_visibleFlag; }
    void setVisibleFlag(bool v) { m_visibleFlag = v; }
    bool loggingEnabled() const { return m_loggingEnabled; }
    void setLoggingEnabled(bool v) { m_loggingEnabled = v; }
    bool exportEnabled() const { return m_exportEnabled; }
    void setExportEnabled(bool v) { m_exportEnabled = v; }

private:
    QString m_dataType;
    QString m_paramName;
    QString m_index;
    QString m_subIndex;
    QString m_groupName;
    QString m_dependences;
    bool m_visibleFlag = true;
    bool m_loggingEnabled = true;
    bool m_exportEnabled = true;
};
