#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class about;
}

// Product caption, version and build date; fixed size, close button only.
class about : public QDialog {
    Q_OBJECT
public:
    explicit about(QWidget* parent = nullptr);
    ~about() override;

private:
    std::unique_ptr<Ui::about> ui;
};
