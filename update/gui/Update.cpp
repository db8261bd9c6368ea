#include "update/gui/Update.h"

#include "update/HttpFetch.h"
#include "update/UpdateRun.h"
#include "update/gui/UpdateDialog.h"

#include <utility>

Update::Update(std::string host, qp::Clock& clock, qp::ProcessRunner& runner,
               qp::InstallFolder folder)
    : m_host(std::move(host)), m_clock(clock), m_runner(runner), m_folder(std::move(folder)) {}

int Update::Run() {
    UpdateDialog dialog;
    // A server that sends next to nothing could keep the window up for days: closing it calls off
    // the fetch under way, and the run ends as after any failed download.
    const qp::CancelFetchesWhen closed(dialog.Closed());
    return qp::RunUpdate(m_host, m_folder, dialog, m_clock, m_runner);
}
