#pragma once

#include <QObject>
#include <QPointer>

class QEvent;

namespace qp {

// A hook that sees every event of one window before the window itself does. Hooks ride on Qt's
// event filters, which already run the newest hook first and forget a window's hooks when the
// window is destroyed, so no map of windows to hooks is kept here.
class CSubclassWnd : public QObject {
public:
    CSubclassWnd() = default;
    ~CSubclassWnd() override;
    CSubclassWnd(const CSubclassWnd&) = delete;
    CSubclassWnd& operator=(const CSubclassWnd&) = delete;

    // With a window, makes this the window's newest hook (only on a hook that is not hooked);
    // with nullptr, unhooks. Always true.
    bool Hook(QObject* window);

    // The hooked window; null when not hooked or once the window is gone.
    QObject* HookedWindow() const { return m_hWnd.data(); }
    bool IsHooked() const { return !m_hWnd.isNull(); }

protected:
    // Sees an event of the hooked window. True swallows it; the base passes it on to the older
    // hooks and then to the window, so overrides end by calling it.
    virtual bool ProcessMessage(QEvent* event);

private:
    bool eventFilter(QObject* watched, QEvent* event) override;

    QPointer<QObject> m_hWnd;
};

} // namespace qp
