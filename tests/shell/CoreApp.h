#pragma once

#include <QCoreApplication>

namespace qp::test {

// Events reach event filters only through an application object; one for the whole run.
inline void EnsureCoreApplication() {
    if (QCoreApplication::instance() != nullptr)
        return;
    static int argc = 1;
    static char name[] = "shell_tests";
    static char* argv[] = {name, nullptr};
    // Kept to the end of the process: Qt's own statics must outlive it.
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
}

} // namespace qp::test
