// The window's widgets that the classic pages live on, made without the
// window: four tabs, the page and import widgets, the three button boxes and
// the two actions, all under one root widget.
#pragma once

#include "classic/classicpages.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QTabWidget>
#include <QWidget>

struct ClassicFormWidgets {
    ClassicFormWidgets()
    {
        tabs = new QTabWidget(&root);
        for (const char* title : {"main", "calibration", "extra", "info"})
            tabs->addTab(new QWidget, QString::fromLatin1(title));
        form.tabConfig = tabs;
        form.MainParamsWgt = new QWidget(tabs->widget(0));
        form.importWgt = new QWidget(&root);
        form.wgtBtnImport = new QWidget(&root);
        form.buttonBoxMain = new QDialogButtonBox(&root);
        form.buttonBoxCalibration = new QDialogButtonBox(&root);
        form.buttonBoxExtra = new QDialogButtonBox(&root);
        form.ExtraParamsWgt = new QWidget(&root);
        form.InfoParamsWgt = new QWidget(&root);
        form.m_calibrate = new QAction(&root);
        form.m_check_default = new QAction(&root);
    }
    QWidget root;
    QTabWidget* tabs = nullptr;
    ClassicForm form;
};
