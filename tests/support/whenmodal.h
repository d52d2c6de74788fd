#pragma once

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <functional>

// Queues the answer to the next modal window before the code under test opens it: the
// action runs with that window once it is up.
inline void whenModal(std::function<void(QWidget *)> action)
{
    QTimer::singleShot(0, [action] {
        QTRY_VERIFY(QApplication::activeModalWidget());
        action(QApplication::activeModalWidget());
    });
}
