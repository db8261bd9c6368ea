#include "update/Update.h"

#include "update/HttpFetch.h"
#include "update/UpdateDialog.h"
#include "update/UpdateRun.h"

Update::Update(std::string host, qp::Clock& clock, qp::ProcessRunner& runner)
    : m_host(std::move(host)), m_clock(clock), m_runner(runner) {}

int Update::Run() {
    UpdateDialog dialog;
    // A server that sends next to nothing could keep the window up for days: closing it calls off
    // the fetch under way, and the run ends as after any failed download.
    const qp::CancelFetchesWhen closed(dialog.Closed());
    return qp::RunUpdate(m_host, dialog, m_clock, m_runner);
}
