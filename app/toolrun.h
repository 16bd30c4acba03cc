// The tool's run from the application object to its end: the main window,
// centred and shown, and the event loop. "Файл → Выход" and the signals that
// end a session or come from Ctrl+C (ExitSignals) take the same road: the
// loop ends, and the window, as it goes, closes the link (the adapter hears
// its close line, the port's exclusive mark comes off), stops and joins its
// workers and writes the settings.
#pragma once

#include <functional>

class MainWindow;
class QApplication;

// `shown` runs once the window is shown, before the loop starts (a test
// connects the window there). Returns the loop's exit code.
int runTool(QApplication& app, const std::function<void(MainWindow&)>& shown = {});
