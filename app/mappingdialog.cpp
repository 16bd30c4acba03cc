#include "app/mappingdialog.h"

#include "ui_mappingdialog.h"

#include "app/hexdigitsvalidator.h"
#include "classic/mappingentry.h"

MappingDialog::MappingDialog(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::MappingDialog>())
{
    ui->setupUi(this);
    ui->txtIndex->setValidator(new HexDigitsValidator(4, ui->txtIndex));
    ui->lblModbusRegsCounts->hide();
    ui->spinModbusRegsCount->hide();
}

MappingDialog::~MappingDialog() = default;

void MappingDialog::setIndex(const QString& text) { ui->txtIndex->setText(text); }
QString MappingDialog::index() const { return ui->txtIndex->text(); }
void MappingDialog::setSubindex(int value) { ui->spinSubindex->setValue(value); }
int MappingDialog::subindex() const { return ui->spinSubindex->value(); }
void MappingDialog::setSubindexCount(int value) { ui->spinSubindexCount->setValue(value); }
int MappingDialog::subindexCount() const { return ui->spinSubindexCount->value(); }
void MappingDialog::setModbusAddr(int value) { ui->spinModbussAddr->setValue(value); }
int MappingDialog::modbusAddr() const { return ui->spinModbussAddr->value(); }
void MappingDialog::setModbusRegsCount(int value) { ui->spinModbusRegsCount->setValue(value); }

void MappingDialog::on_btnClear_clicked()
{
    ui->txtIndex->setText(QStringLiteral("0000"));
    ui->spinSubindex->setValue(0);
    ui->spinSubindexCount->setValue(0);
    // A cleared entry carries address 0xFFFF, not 0.
    ui->spinModbussAddr->setValue(0xFFFF);
}

void showMappingEntry(MappingDialog& dialog, const MappingEntry& entry)
{
    dialog.setIndex(entry.objectIndex);
    dialog.setSubindex(entry.subIndex);
    dialog.setSubindexCount(entry.subIndexCount);
    dialog.setModbusAddr(entry.modbusAddress);
    dialog.setModbusRegsCount(entry.modbusRegisterCount);
}

MappingEntry readMappingEntry(const MappingDialog& dialog)
{
    MappingEntry entry;
    entry.objectIndex = dialog.index();
    entry.subIndex = dialog.subindex();
    entry.subIndexCount = dialog.subindexCount();
    entry.modbusAddress = dialog.modbusAddr();
    return entry;
}
