#include "app/GuiStartup.h"
#include "app/QuillpostApp.h"
#include "app/SendDialogs.h"
#include "fax/gui/FaxDialog.h"
#include "platform/CommonFolder.h"
#include "platform/FileOps.h"
#include "platform/gui/ControlLookup.h"
#include "tests/fax/support/FaxdProcess.h"
#include "tests/fax/support/SamplePostScript.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/support/GuiChecks.h"
#include "tests/support/TestSupport.h"
#include "tests/support/cups/CupsFixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

using qp::test::PumpUntil;

namespace {

class PrintToFaxTest : public qp::test::CupsdTest {};

} // namespace

// What only the whole road shows: a document printed with lp reaches a send dialog of its own
// and goes out, page by page, as the fax; the job goes with its dialog.
TEST_F(PrintToFaxTest, APrintedDocumentIsCapturedSentAndCleanedUp) {
    std::string provisioning;
    ASSERT_EQ(Cupsd().ProvisionFaxPrinter(&provisioning), 0) << provisioning;

    qp::test::TempUserEnvironment user;
    // The queue's port names the common folder; this user's jobs come into a folder of their own.
    qp::test::ScopedEnv common("QUILLPOST_COMMON_DIR", Cupsd().FaxFolder());
    qp::test::FaxdProcess server(user.home.Path(), "5550100 2468\n");

    CQuillpostApp app("");
    ASSERT_EQ(app.PortFile(), Cupsd().UserPortFile(qp::CurrentLoginName()));
    app.Account().Set({"127.0.0.1", server.Port(), "5550100", "2468", "", {}});

    qp::GuiStartupServices client(app.Account(), app.Runner());
    ASSERT_TRUE(client.StartWatcher(app.PortFile()));
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
    const std::string jobFolder = dialog->CurrentJob().Folder();
    auto* box = qp::FindControl<QComboBox>(dialog, 1000);
    QTest::keyClicks(box->lineEdit(), "(555) 010-0199");
    QTest::mouseClick(qp::FindControl<QPushButton>(dialog, 1), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return open().empty(); }, std::chrono::seconds(60)));

    ASSERT_TRUE(server.WaitForLog("fax stored: box=5550100 to=5550100199").has_value());
    const std::vector<std::string> stored = server.Stored(".tif");
    ASSERT_EQ(stored.size(), 1u);
    const std::vector<qp::test::TiffPage> pages = qp::test::ReadTiffPages(stored[0]);
    ASSERT_EQ(pages.size(), 2u);
    for (const qp::test::TiffPage& page : pages)
        EXPECT_GT(page.ink, 0.0) << "the printed text";
    EXPECT_FALSE(qp::FileExists(jobFolder));
    client.Shutdown();
}
