#include "shell/SubclassWnd.h"

namespace qp {

CSubclassWnd::~CSubclassWnd() {
    if (IsHooked())
        Hook(nullptr);
}

bool CSubclassWnd::Hook(QObject* window) {
    // A hook serves one window at a time.
    if (QObject* hooked = m_hWnd.data())
        hooked->removeEventFilter(this);
    if (window != nullptr)
        window->installEventFilter(this);
    m_hWnd = window;
    return true;
}

bool CSubclassWnd::ProcessMessage(QEvent*) {
    return false;
}

bool CSubclassWnd::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_hWnd.data())
        return false;
    return ProcessMessage(event);
}

} // namespace qp
