#pragma once

#include "platform/Clock.h"
#include "platform/ProcessRunner.h"
#include "update/InstallFolder.h"

#include <string>

// The update mode's run: the progress window over the download of the changed files, then the
// client started anew.
class Update {
public:
    // `folder` holds the release to update, by default the running program's.
    explicit Update(std::string host, qp::Clock& clock = qp::SystemClock(),
                    qp::ProcessRunner& runner = qp::SystemProcessRunner(),
                    qp::InstallFolder folder = qp::RunningProgramFolder());
    // Returns 0 when the new client could not be started; otherwise it does not return.
    int Run();

private:
    std::string m_host;
    qp::Clock& m_clock;
    qp::ProcessRunner& m_runner;
    qp::InstallFolder m_folder;
};
