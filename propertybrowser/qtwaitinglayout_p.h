// A layout for a widget that the property browser has just made, set so that it
// posts nothing. Internal to the property browser.
#pragma once

#include <QWidget>

// Sets a new Layout on `widget`, made and not yet shown, and returns it. The
// layout waits for the widget's show for its first pass, which Qt runs for every
// widget it shows. Set the usual way, it would also post a layout request to the
// widget, and Qt posts one only after looking through every event waiting in the
// queue; while a page is filled that queue holds a polish request for each widget
// made since the event loop last ran, so each such post costs more the longer the
// page.
template <class Layout>
Layout *setWaitingLayout(QWidget *widget)
{
    auto *layout = new Layout(nullptr);
    // On a layout without a widget this only marks it as due for a pass.
    layout->invalidate();
    widget->setLayout(layout);
    return layout;
}
