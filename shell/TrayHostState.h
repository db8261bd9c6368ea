#pragma once

#include <optional>

namespace qp {

// Follows whether a tray host (a notification area) is there. The first time there is none the
// user is told once; when one comes back after being away, the icons must be added again.
class TrayHostState {
public:
    struct Step {
        bool reportMissing = false;
        bool restart = false;
    };

    Step Observe(bool available);

private:
    std::optional<bool> m_last;
    bool m_reported = false;
};

// The line written to standard error when there is no tray host.
inline constexpr const char* kNoTrayMessage =
    "Quillpost: no system tray is available; the icon will appear when one starts. Print jobs "
    "still open the send dialog.";

} // namespace qp
