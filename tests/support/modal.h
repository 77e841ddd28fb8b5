#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace testsupport {

// A child of parent by object name (as the window's .ui names it).
template <typename T> T* child(QObject* parent, const char* name)
{
    return parent->findChild<T*>(QLatin1String(name));
}

// Runs fn on the modal dialog as soon as one is open, so a test can answer
// the dialog that the code under test is about to exec(). The dialog is
// closed afterwards if fn left it open: a failed check inside fn must not
// leave exec() waiting forever. Gives up after about three seconds.
void onModal(std::function<void(QWidget*)> fn);

} // namespace testsupport
