#include "app/about.h"

#include "ui_about.h"

#include <QLayout>

namespace {
const char* const kVersion = "201.05.01.02";
const char* const kBuildDate = "13.10.2022";
const char* const kBuildTime = "13:00";
}

about::about(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::about>())
{
    ui->setupUi(this);
    // Keep the dialog window type: with a parent, flags without it would turn the
    // dialog into a child widget drawn inside the parent.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    ui->lblVersion->setText(QString::fromLocal8Bit(kVersion));
    ui->lblBuildDate->setText(QString::fromLocal8Bit(kBuildDate) + QLatin1Char(' ') + QString::fromLocal8Bit(kBuildTime));
    // As large as its texts need in the font the system gives, and no larger
    // or smaller: the user cannot resize it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

about::~about() = default;
