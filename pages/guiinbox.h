#pragma once

#include <functional>

// Runs functions on the GUI thread that any thread hands in, in the order handed in.
// The hand-over is a standard mutex and an eventfd watched by the GUI thread's event
// loop, so the thread checker sees it (the locks of Qt 5's own event queue it cannot).
namespace GuiInbox {

// Sets the watcher up; call on the GUI thread, with the application object existing,
// before any other thread posts. Repeated calls do nothing.
void ensure();

// From any thread. What is posted after the application object is gone never runs.
void post(std::function<void()> fn);

} // namespace GuiInbox
