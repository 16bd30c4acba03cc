#pragma once

#include <QUiLoader>

// Loads page and data-type forms, creating the pages' own field widgets by class name.
class myLoader : public QUiLoader
{
    Q_OBJECT
public:
    explicit myLoader(QObject *parent = nullptr) : QUiLoader(parent) {}

    QWidget *createWidget(const QString &className, QWidget *parent = nullptr,
                          const QString &name = QString()) override;
};
