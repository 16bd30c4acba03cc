#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class MappingDialog;
}

struct MappingEntry;

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

// A mapping entry into the dialog, and back out of it. The dialog has no
// reading of the register count: the entry read back carries 0 there.
void showMappingEntry(MappingDialog& dialog, const MappingEntry& entry);
MappingEntry readMappingEntry(const MappingDialog& dialog);
