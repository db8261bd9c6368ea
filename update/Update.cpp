#include "update/Update.h"

#include "update/UpdateDialog.h"
#include "update/UpdateRun.h"

Update::Update(std::string host, qp::Clock& clock, qp::ProcessRunner& runner)
    : m_host(std::move(host)), m_clock(clock), m_runner(runner) {}

int Update::Run() {
    UpdateDialog dialog;
    return qp::RunUpdate(m_host, dialog, m_clock, m_runner);
}
