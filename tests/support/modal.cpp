#include "tests/support/modal.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace testsupport {

namespace {

void tryModal(std::function<void(QWidget*)> fn, int attemptsLeft, int delayMs)
{
    QTimer::singleShot(delayMs, [fn, attemptsLeft] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            fn(w);
            if (QApplication::activeModalWidget() == w)
                w->close();
        } else if (attemptsLeft > 0) {
            tryModal(fn, attemptsLeft - 1, 10);
        }
    });
}

} // namespace

void onModal(std::function<void(QWidget*)> fn)
{
    tryModal(std::move(fn), 300, 0);
}

} // namespace testsupport
