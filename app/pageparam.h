#pragma once

#include "pages/customparam.h"

#include <functional>

// A parameter of the built pages as export and import see it: the record, and what
// shows an imported value on its page (the parameter controller's slotImport).
struct PageParam
{
    SPCustomParam param;
    std::function<void()> imported;
};
