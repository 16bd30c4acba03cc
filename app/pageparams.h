#pragma once

#include "app/pageparam.h"

#include <QList>

// The parameters of the pages now built, one per parameter controller, in build
// order. Safe to hold past a rebuild of the pages: `imported` then does nothing.
QList<PageParam> pageParamsFromControllers();
