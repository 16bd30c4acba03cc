#pragma once

#include <QString>

// Style sheets of the edited mark: an unsaved edit shows red text; a check box the
// user has just toggled shows a red background until its parameter says otherwise.
inline QString editedTextStyle() { return QStringLiteral("color:red;"); }
inline QString editedBackgroundStyle() { return QStringLiteral("background-color: red;"); }
