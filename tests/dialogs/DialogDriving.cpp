#include "DialogDriving.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace corvalin::test {

int runModal(QDialog& dialog, const std::function<void()>& operate) {
    bool forced = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        forced = true;
        dialog.reject();
    });
    guard.start(10000);
    QTimer::singleShot(0, &dialog, operate);
    const int result = dialog.exec();
    EXPECT_FALSE(forced) << "the dialog did not close";
    return result;
}

void whenModal(std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> act) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    auto* elapsed = new QElapsedTimer;
    elapsed->start();
    QObject::connect(poll, &QTimer::timeout, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        const bool found = modal && modal->isVisible() && matches(modal);
        if (!found && elapsed->elapsed() < 8000)
            return;
        poll->stop();
        poll->deleteLater();
        delete elapsed;
        if (!found) {
            ADD_FAILURE() << "the expected window did not come up";
            return;
        }
        act(modal);
    });
    poll->start();
}

void pressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(target, &release);
}

} // namespace corvalin::test
