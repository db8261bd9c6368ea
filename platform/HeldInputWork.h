#pragma once

#include <functional>

class QWidget;

namespace qp {

// What lets the user stop the work of a busy window: a click on `cancelButton` or its accelerator,
// Escape, or the window's close box calls `requestStop` on the GUI thread, at most once, instead
// of waiting.
struct WorkStop {
    QWidget* cancelButton = nullptr;
    std::function<void()> requestStop;
};

// Runs `work` on a worker thread while the calling (GUI) thread keeps its event loop going, so
// windows repaint and the rest of the program stays alive. Mouse and key input aimed at `window`
// (or its children), and a request to close it, are meanwhile held back and delivered once the
// work has returned, so the user cannot start a second action on a window that is busy. With a
// `stop`, its gestures stop the work instead, and the input held back is dropped. Windows that
// others ask to open meanwhile through RunOnGuiThreadWhenIdle open once the work has returned.
// Returns when the work has finished, even if the application was told to quit meanwhile: true
// when the user asked to stop it.
bool RunHoldingInput(QWidget* window, const std::function<void()>& work, const WorkStop& stop = {});

} // namespace qp
