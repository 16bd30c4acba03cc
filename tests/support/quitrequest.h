// A test that has the application asked to quit (as "Выход" asks it) lives on
// afterwards: every event loop it starts would return at once, QTest's waits
// included. Only a turn of the application's own loop clears the request.
#pragma once

#include <QCoreApplication>
#include <QTimer>

inline void clearQuitRequest()
{
    QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

// Asked at once, cleared as the scope ends.
struct QuitRequested {
    QuitRequested() { QCoreApplication::exit(0); }
    ~QuitRequested() { clearQuitRequest(); }
    QuitRequested(const QuitRequested&) = delete;
    QuitRequested& operator=(const QuitRequested&) = delete;
};
