#pragma once

#include "update/UpdateRun.h"

#include <QDialog>
#include <atomic>

class QLineEdit;
class QProgressBar;

// The update run's progress window: the overall state, the file being fetched and a bar of files
// done. Created hidden; the run shows it.
class UpdateDialog final : public QDialog, public qp::UpdateProgressView {
public:
    static constexpr int kIdState = 1000;
    static constexpr int kIdFile = 1006;
    static constexpr int kIdProgress = 1028;
    // Bar steps per file, so that the bar moves inside a long download.
    static constexpr int kStepsPerFile = 100;

    explicit UpdateDialog(QWidget* parent = nullptr);

    void SetStateText(const std::string& text) override;
    void SetFileText(const std::string& text) override;
    void SetRange(int count) override;
    void SetProgress(int filesDone, double fraction) override;
    void Show() override;
    void Hide() override;
    void PumpPendingMessages() override;
    // True once the user closed the window (its close box or Escape): the run gives up.
    const std::atomic<bool>& Closed() const { return m_closed; }
    void reject() override;

private:
    std::atomic<bool> m_closed{false};
    QLineEdit* m_state = nullptr;
    QLineEdit* m_file = nullptr;
    QProgressBar* m_progress = nullptr;
};
