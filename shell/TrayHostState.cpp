#include "shell/TrayHostState.h"

namespace qp {

TrayHostState::Step TrayHostState::Observe(bool available) {
    Step step;
    if (!available && !m_reported) {
        step.reportMissing = true;
        m_reported = true;
    }
    step.restart = available && m_last.has_value() && !*m_last;
    m_last = available;
    return step;
}

} // namespace qp
