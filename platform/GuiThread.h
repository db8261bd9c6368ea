#pragma once

#include <functional>

namespace qp {

// Runs work on the thread of the Qt application object and returns when it has finished. Widgets
// live only on that thread, so a worker that needs a dialog asks through here and blocks meanwhile.
// Without an application object, or when already on that thread, the work runs directly.
void RunOnGuiThread(const std::function<void()>& work);

bool IsGuiThread();

} // namespace qp
