#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class MappingDialog;
}

// One Modbus mapping entry: CANopen index, first sub-index and their count, mapped to
// the holding registers from a start address on.
class MappingDialog : public QDialog {
    Q_OBJECT
public:
    explicit MappingDialog(QWidget* parent = nullptr);
    ~MappingDialog() override;

    void setIndex(const QString& text);
    QString index() const;
    void setSubindex(int value);
    int subindex() const;
    void setSubindexCount(int value);
    int subindexCount() const;
    void setModbusAddr(int value);
    int modbusAddr() const;
    void setModbusRegsCount(int value);

private slots:
    void on_btnClear_clicked();

private:
    std::unique_ptr<Ui::MappingDialog> ui;
};
