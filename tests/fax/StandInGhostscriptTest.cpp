#include "app/QuillpostApp.h"
#include "fax/FaxDialog.h"
#include "platform/ControlLookup.h"
#include "tests/fax/support/ChildProcess.h"
#include "tests/fax/support/SamplePostScript.h"
#include "tests/support/TestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using qp::test::WriteFile;

// The send dialog with a program in Ghostscript's place that writes what it is told to into the
// image, and a real fax server that must never hear of it.
TEST(StandInGhostscriptTest, AnImageThatIsNoFaxImageIsNeverUploaded) {
    qp::test::TempUserEnvironment env;
    qp::test::ScopedEnv home("HOME", env.home.Path());
    qp::test::FaxdProcess server(env.home.Path(), "5550100 2468\n");
    qp::test::FakeClock clock;
    const std::string standIn = env.home.File("gs");
    const struct {
        const char* output;
        const char* message;
    } cases[] = {
        {"", "Unable to create fax: the image is empty"},
        {"%!PS-Adobe-3.0 not an image", "Unable to create fax: the image is not a TIFF file"},
    };
    for (const auto& c : cases) {
        // The image's name comes last but one, after -sOutputFile=.
        WriteFile(standIn, std::string("#!/bin/sh\nfor a; do case \"$a\" in -sOutputFile=*) "
                                       "printf '%s' '") +
                               c.output + "' > \"${a#-sOutputFile=}\";; esac; done\n");
        ::chmod(standIn.c_str(), 0755);
        CQuillpostApp app("");
        app.m_gsPath = standIn;
        app.SetAccount({"127.0.0.1", server.Port(), "5550100", "2468", ""});
        WriteFile(app.m_bodyFile, qp::test::TextPostScript(1));
        env.messages.Clear();

        FaxDialog dialog(app, nullptr, clock);
        dialog.show();
        QTest::keyClicks(qp::FindControl<QComboBox>(&dialog, 1000)->lineEdit(), "5551234567");
        QTest::mouseClick(qp::FindControl<QPushButton>(&dialog, 1), Qt::LeftButton);

        EXPECT_EQ(env.messages.Texts(), std::vector<std::string>{c.message});
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(qp::FindControl<QLineEdit>(&dialog, 1007)->text().isEmpty());
    }
    // The server heard of no fax at all.
    server.Stop();
    EXPECT_TRUE(server.Stored(".tif").empty());
    for (const std::string& line : server.Log())
        EXPECT_EQ(line.find("box="), std::string::npos) << line;
}

} // namespace
