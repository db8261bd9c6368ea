#pragma once

#include <QApplication>

namespace qp::bench {

// Dialogs need a widget application; no display is needed. Made by the first benchmark that asks.
inline void EnsureGuiApplication() {
    static int argc = 1;
    static char name[] = "quillpost-bench";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static QApplication app(argc, argv);
    }
}

} // namespace qp::bench
