#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace qp::test {

// Acts on the next modal dialog as soon as its event loop runs. Gives up (and fails the test)
// when none appears within a bounded number of event-loop turns.
inline void WhenModalOpens(std::function<void(QDialog&)> act, int turnsLeft = 200) {
    QTimer::singleShot(0, [act = std::move(act), turnsLeft]() mutable {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr && dialog->isVisible()) {
            act(*dialog);
            return;
        }
        if (turnsLeft == 0) {
            ADD_FAILURE() << "no modal dialog opened";
            return;
        }
        WhenModalOpens(std::move(act), turnsLeft - 1);
    });
}

// The same for a popup menu.
inline void WhenPopupOpens(std::function<void(QWidget&)> act, int turnsLeft = 200) {
    QTimer::singleShot(0, [act = std::move(act), turnsLeft]() mutable {
        QWidget* popup = QApplication::activePopupWidget();
        if (popup != nullptr) {
            act(*popup);
            return;
        }
        if (turnsLeft == 0) {
            ADD_FAILURE() << "no popup opened";
            return;
        }
        WhenPopupOpens(std::move(act), turnsLeft - 1);
    });
}

} // namespace qp::test
