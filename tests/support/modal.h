#pragma once
// Answers a modal dialog from the test: fn runs on the next modal widget that
// shows up, from inside the dialog's own event loop.

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace zeph::test {

inline void whenModal(std::function<void(QWidget*)> fn)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, fn] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            fn(w);
        }
    });
    timer->start();
}

} // namespace zeph::test
