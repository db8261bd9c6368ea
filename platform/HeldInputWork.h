#pragma once

#include <functional>

class QWidget;

namespace qp {

// Runs `work` on a worker thread while the calling (GUI) thread keeps its event loop going, so
// windows repaint and the rest of the program stays alive. Mouse and key input aimed at `window`
// (or its children), and a request to close it, are meanwhile held back and delivered once the
// work has returned, so the user cannot start a second action on a window that is busy. Returns
// when the work has finished, even if the application was told to quit meanwhile.
void RunHoldingInput(QWidget* window, const std::function<void()>& work);

} // namespace qp
