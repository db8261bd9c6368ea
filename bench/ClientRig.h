#pragma once

#include "app/GuiStartup.h"
#include "app/QuillpostApp.h"
#include "platform/MessageBox.h"
#include "tests/support/TestSupport.h"

#include <chrono>
#include <functional>
#include <string>

class FaxDialog;

namespace qp::bench {

// The running client's pieces as start-up wires them, for a user whose settings, data and spool
// folder lie in a temporary folder: the watcher on the spool folder and the send dialogs it opens,
// which send to the fax server on `faxPort` of this machine. It points the process's environment
// at its folders, so one at a time. Messages go to standard error instead of boxes.
class ClientRig {
public:
    explicit ClientRig(int faxPort);
    ~ClientRig();
    ClientRig(const ClientRig&) = delete;
    ClientRig& operator=(const ClientRig&) = delete;

    bool StartWatcher() { return m_services.StartWatcher(m_app.PortFile()); }
    GuiStartupServices& Services() { return m_services; }
    // A print job as the printer's backend publishes it: written aside, then renamed into place.
    // Returns the moment of the rename.
    std::chrono::steady_clock::time_point Print(const std::string& postScript) const;
    // The send dialog that is open, or none.
    FaxDialog* OpenDialog();
    std::size_t OpenDialogs();

private:
    qp::test::TempDir m_home;
    // Made before the application object, which looks for it.
    std::string m_userSpool;
    qp::test::ScopedEnv m_homeEnv;
    qp::test::ScopedEnv m_config;
    qp::test::ScopedEnv m_data;
    qp::test::ScopedEnv m_spool;
    StderrMessageSink m_messages;
    ScopedMessageSink m_messageSink{m_messages};
    CQuillpostApp m_app{""};
    GuiStartupServices m_services{m_app.Account(), m_app.Runner()};
};

// Runs the GUI thread's events until `done` holds or `limit` has passed; whether it holds. It
// sleeps until an event comes, so the client's own threads get the processor meanwhile.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(60));

} // namespace qp::bench
