#pragma once

#include "platform/MessageBox.h"

namespace qp {

// Shows message boxes as modal QMessageBox windows on the GUI thread, whatever thread asks.
class QtMessageSink final : public MessageSink {
public:
    MessageAnswer Show(const MessageRequest& request) override;
};

// Installs a process-wide QtMessageSink; call once the QApplication exists.
void InstallQtMessageSink();

} // namespace qp
