#include "app/QuillpostApp.h"
#include "capture/FaxMonitor.h"
#include "capture/FaxPrinterLookup.h"
#include "cover/CoverSheetDialog.h"
#include "fax/FaxDialog.h"
#include "platform/CommonFolder.h"
#include "platform/ControlLookup.h"
#include "platform/FileOps.h"
#include "shell/CoverOnly.h"
#include "tests/fax/support/ChildProcess.h"
#include "tests/fax/support/SamplePostScript.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/integration/QuickClock.h"
#include "tests/support/TestSupport.h"
#include "tests/support/cups/CupsFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using qp::test::QuickClock;
using qp::test::ScopedEnv;
using qp::test::TempDir;

namespace {

// A user with the fax printer provisioned on the private cupsd and an account on a fax server.
class CoverSheetPrintTest : public qp::test::CupsdTest {
protected:
    void SetUp() override {
        CupsdTest::SetUp();
        if (IsSkipped())
            return;
        std::string provisioning;
        ASSERT_EQ(Cupsd().ProvisionFaxPrinter(&provisioning), 0) << provisioning;
        m_app = std::make_unique<CQuillpostApp>("");
        ASSERT_EQ(qp::FindFaxPrinterPort(), Cupsd().PortFile());
        // The queue's port names the common folder; the cover page comes into this user's own.
        ASSERT_EQ(m_app->m_portFile, Cupsd().UserPortFile(qp::CurrentLoginName()));
        m_app->SetAccount({"127.0.0.1", m_server.Port(), "5550100", "2468", ""});
        FaxDialog::SetCoverSheetRunner([](CQuillpostApp& app, QWidget* parent) {
            auto* dialog = new CCoverSheetDialog(app.Profile(), app.m_coverFile, parent);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            dialog->open();
        });
        // A logo in the user's folder, so the page carries a picture through the spooler too.
        QImage logo(300, 50, QImage::Format_RGB32);
        logo.fill(Qt::darkBlue);
        ASSERT_TRUE(logo.save(QString::fromStdString(m_home.File(".fx.cover.hdr")), "BMP"));
    }
    void TearDown() override {
        FaxDialog::SetCoverSheetRunner(nullptr);
        CupsdTest::TearDown();
    }
    static void FillIn(CCoverSheetDialog& dialog) {
        const std::pair<int, const char*> lines[] = {{1000, "Ann Example"},
                                                     {1006, "Quarterly figures"},
                                                     {1007, "Bob Sender"},
                                                     {1012, "(555) 010-0199"},
                                                     {1013, "(555) 010-0100"}};
        for (const auto& [id, text] : lines)
            qp::FindControl<QLineEdit>(&dialog, id)->setText(text);
        qp::FindControl<QPlainTextEdit>(&dialog, 1014)
            ->setPlainText("Dear Ann,\n\nThe figures for the quarter follow on the next pages.");
        qp::FindControl<QPlainTextEdit>(&dialog, 1015)
            ->setPlainText("This fax is meant for the addressee only.");
    }

    TempDir m_home;
    ScopedEnv m_homeEnv{"HOME", m_home.Path()};
    ScopedEnv m_xdg{"XDG_CONFIG_HOME", m_home.Path() + "/config"};
    qp::test::FaxdProcess m_server{m_home.Path(), "5550100 2468\n"};
    qp::test::RecordingMessageSink m_messages;
    qp::ScopedMessageSink m_sink{m_messages};
    std::unique_ptr<CQuillpostApp> m_app;
};

TEST_F(CoverSheetPrintTest, CoverOnlyFaxSendsTheCoverAloneWhileTheWatcherRuns) {
    std::atomic<int> capturedJobs{0};
    QuickClock clock;
    FaxMonitor monitor(
        {m_app->m_portFile, m_app->m_bodyFile, m_app->m_coverFile, m_app->m_faxImage}, clock,
        [&] { ++capturedJobs; });
    ASSERT_TRUE(monitor.Start());

    // The user's part: in the send dialog type the number and add a cover sheet, fill that in
    // and press OK, then press Send. A dialog that stays open after its part has been played is
    // cancelled, so a failure ends the test instead of stalling it.
    int coverRuns = 0;
    int ticksAfterSend = -1;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible())
            return;
        if (auto* cover = dynamic_cast<CCoverSheetDialog*>(modal)) {
            if (coverRuns++ > 0) {
                cover->reject();
                return;
            }
            FillIn(*cover);
            qp::FindControl<QPushButton>(cover, 1)->click();
        } else if (auto* send = dynamic_cast<FaxDialog*>(modal)) {
            if (coverRuns == 0) {
                QTest::keyClicks(qp::FindControl<QComboBox>(send, 1000)->lineEdit(), "5550100199");
                auto* coverButton = qp::FindControl<QPushButton>(send, 1011);
                ASSERT_TRUE(coverButton->isEnabled());
                // Queued: the cover sheet dialog's own loop must see this timer fire again.
                QMetaObject::invokeMethod(coverButton, &QPushButton::click, Qt::QueuedConnection);
            } else if (ticksAfterSend < 0) {
                ticksAfterSend = 0;
                qp::FindControl<QPushButton>(send, 1)->click();
            } else if (++ticksAfterSend > 400) {
                send->reject();
            }
        }
    });
    driver.start(50);

    EXPECT_TRUE(qp::SendCoverOnly({m_app->m_coverFile, m_app->m_bodyFile, m_app->m_faxImage},
                                  [&] { RunFaxDialog(*m_app); }));
    monitor.Stop();

    EXPECT_EQ(capturedJobs, 0);
    EXPECT_EQ(coverRuns, 1);
    EXPECT_TRUE(m_messages.Texts().empty());
    ASSERT_TRUE(m_server.WaitForLog("fax stored").has_value()) << Cupsd().ErrorLog();
    const std::vector<std::string> stored = m_server.Stored(".tif");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(qp::test::ReadTiffPages(stored[0]).size(), 1u);
    EXPECT_FALSE(qp::FileExists(m_app->m_coverFile));
}

} // namespace
