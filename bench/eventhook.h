#pragma once

#include <QApplication>

#include <functional>

// The application object of mirt_bench: every event goes through notify(),
// and a scenario may look at each one right after it has been handled (the
// end of a paint event is the end of that paint).
class BenchApplication : public QApplication
{
public:
    using QApplication::QApplication;

    // Called on the GUI thread before each event is handled (done false) and
    // right after (done true), while the event still exists.
    static std::function<void(QObject*, QEvent*, bool done)>& watch();

    bool notify(QObject* receiver, QEvent* event) override;
};
