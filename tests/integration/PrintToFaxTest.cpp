#include "app/GuiStartup.h"
#include "app/QuillpostApp.h"
#include "app/SendDialogs.h"
#include "capture/FaxPrinterLookup.h"
#include "fax/gui/FaxDialog.h"
#include "platform/CommonFolder.h"
#include "platform/ControlLookup.h"
#include "platform/FileOps.h"
#include "tests/fax/support/FaxdProcess.h"
#include "tests/fax/support/SamplePostScript.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/support/TestSupport.h"
#include "tests/support/cups/CupsFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using qp::test::ReadFile;
using qp::test::ScopedEnv;
using qp::test::TempDir;

namespace {

// Spins the GUI thread's event loop until `done` holds, so a dialog the watcher asks for can run.
bool PumpUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class PrintToFaxTest : public qp::test::CupsdTest {};

} // namespace

TEST_F(PrintToFaxTest, APrintedDocumentIsCapturedSentAndCleanedUp) {
    std::string provisioning;
    ASSERT_EQ(Cupsd().ProvisionFaxPrinter(&provisioning), 0) << provisioning;

    TempDir home;
    ScopedEnv homeEnv("HOME", home.Path());
    ScopedEnv xdg("XDG_CONFIG_HOME", home.Path() + "/config");
    ScopedEnv data("XDG_DATA_HOME", home.Path() + "/data");
    qp::test::FaxdProcess server(home.Path(), "5550100 2468\n");

    CQuillpostApp app("");
    ASSERT_EQ(qp::FindFaxPrinterPort(), Cupsd().PortFile());
    // The queue's port names the common folder; this user's jobs come into a folder of their own.
    ASSERT_EQ(app.PortFile(), Cupsd().UserPortFile(qp::CurrentLoginName()));
    app.Account().Set({"127.0.0.1", server.Port(), "5550100", "2468", ""});

    qp::GuiStartupServices client;
    ASSERT_TRUE(client.StartWatcher(app));
    auto open = [&]() -> const auto& {
        return client.Dialogs().Dialogs();
    };

    const std::string document = Cupsd().Root() + "/document.ps";
    qp::test::WriteFile(document, qp::test::TextPostScript(2));
    ::chmod(document.c_str(), 0644);
    ASSERT_EQ(qp::test::RunProgram({"lp", "-d", "Quill_Post", document}).exitCode, 0);

    // The user's part: once the dialog is up, type the number and press Send.
    ASSERT_TRUE(PumpUntil([&] { return open().size() == 1; }, std::chrono::seconds(90)))
        << Cupsd().ErrorLog();
    FaxDialog* dialog = open()[0].get();
    EXPECT_TRUE(qp::FileExists(dialog->CurrentJob().BodyFile()));
    EXPECT_FALSE(qp::FileExists(app.PortFile()));
    const std::string jobFolder = dialog->CurrentJob().Folder();
    auto* box = qp::FindControl<QComboBox>(dialog, 1000);
    QTest::keyClicks(box->lineEdit(), "(555) 010-0199");
    QTest::mouseClick(qp::FindControl<QPushButton>(dialog, 1), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return open().empty(); }, std::chrono::seconds(60)));

    ASSERT_TRUE(server.WaitForLog("fax stored").has_value());
    const std::vector<std::string> stored = server.Stored(".tif");
    ASSERT_EQ(stored.size(), 1u);
    const std::vector<qp::test::TiffPage> pages = qp::test::ReadTiffPages(stored[0]);
    ASSERT_EQ(pages.size(), 2u);
    for (const qp::test::TiffPage& page : pages) {
        EXPECT_EQ(page.compression, 4); // CCITT Group 4
        EXPECT_EQ(page.width, 1728u);
        EXPECT_EQ(page.height, 2172u);
        EXPECT_GT(page.ink, 0.0);
    }
    EXPECT_EQ(ReadFile(home.File(".fx.hs")), "(555) 010-0199\r\n");

    // The job went with its dialog, once logged.
    EXPECT_FALSE(qp::FileExists(jobFolder));
    client.Shutdown(app);
}
