#pragma once
// Answers a modal window from inside its own event loop: once a modal window of type T is
// up (and active), `answer` acts on it. A window that never appears, or never closes, fails
// the test after a while instead of hanging it. Schedule before the call that blocks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

template <class T>
void WhenModal(std::function<void(T&)> answer, int timeoutMs = 20000) {
    auto* poll = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, clock, answer, timeoutMs] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!window && clock->elapsed() < timeoutMs) return;
        poll->stop();
        poll->deleteLater();
        if (!window) {
            ADD_FAILURE() << "no modal " << T::staticMetaObject.className() << " appeared";
            return;
        }
        QTimer::singleShot(timeoutMs, window, [target = QPointer<T>(window)] {
            ADD_FAILURE() << "the modal window stayed open";
            if (target) static_cast<QDialog*>(target.data())->done(-1);
        });
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        answer(*window);
    });
    poll->start(5);
}

// A key pressed in the window as the user would press it: it goes to the focused control.
inline void PressKey(QWidget& window, Qt::Key key) {
    QTest::keyClick(window.windowHandle(), key);
}
