#include "cover/CoverSheetDialog.h"
#include "app/QuillpostApp.h"
#include "app/Settings.h"
#include "cover/PictureBox.h"
#include "platform/ControlLookup.h"
#include "platform/FileOps.h"
#include "tests/cover/support/RecordingDevice.h"
#include "tests/support/TestSupport.h"

#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace qp::settings;
using qp::test::ReadFile;
using qp::test::WriteFile;

namespace {

constexpr const char* kFieldEntries[] = {kCoverTo,    kCoverRe,   kCoverFrom,      kCoverFax,
                                         kCoverPhone, kCoverNote, kCoverDisclosure};
constexpr int kFieldIds[] = {1000, 1006, 1007, 1012, 1013, 1014, 1015};

class CoverSheetDialogTest : public ::testing::Test {
protected:
    // A printer that hands every finished document to the port file, unless told it is broken.
    CoverSheetSeams Seams() {
        qp::test::RecordingDevice::Setup printer;
        printer.onEndDocument = [this] {
            if (m_printerWorks)
                WriteFile(m_app.m_portFile, "%!PS cover page\n");
        };
        return CoverSheetSeams{qp::test::RecordingDevice::Factory(m_record, printer), &m_clock,
                               [this](QWidget*) { return m_chosen; }};
    }
    QString Text(CCoverSheetDialog& dialog, int id) {
        if (auto* edit = qp::FindControl<QLineEdit>(&dialog, id))
            return edit->text();
        return qp::FindControl<QPlainTextEdit>(&dialog, id)->toPlainText();
    }
    void SetText(CCoverSheetDialog& dialog, int id, const QString& text) {
        if (auto* edit = qp::FindControl<QLineEdit>(&dialog, id))
            edit->setText(text);
        else
            qp::FindControl<QPlainTextEdit>(&dialog, id)->setPlainText(text);
    }
    void Click(CCoverSheetDialog& dialog, int id) {
        qp::FindControl<QPushButton>(&dialog, id)->click();
    }
    std::string Stored(const char* entry) const {
        return m_app.GetProfileString(kSection, entry, "<absent>");
    }
    CPictureBox& Preview(CCoverSheetDialog& dialog) {
        return *qp::FindControl<CPictureBox>(&dialog, 1016);
    }

    qp::test::TempUserEnvironment m_user;
    qp::test::ScopedEnv m_homeEnv{"HOME", m_user.home.Path()};
    CQuillpostApp m_app{""};
    qp::test::DeviceRecord m_record;
    qp::test::FakeClock m_clock;
    bool m_printerWorks = true;
    std::optional<std::string> m_chosen;
};

TEST_F(CoverSheetDialogTest, OkPrintsTheControlsTextThenStoresItUntrimmedWithItsLineBreaks) {
    const std::string stored[] = {" Ann ", "Re", "Bob", "555", "556", "one\r\ntwo", "Private"};
    for (std::size_t i = 0; i < std::size(kFieldEntries); ++i)
        m_app.WriteProfileString(kSection, kFieldEntries[i], stored[i].c_str());

    CCoverSheetDialog dialog(m_app, nullptr, Seams());
    EXPECT_EQ(dialog.windowTitle(), "Cover Sheet");
    EXPECT_EQ(Text(dialog, 1000), " Ann ");
    EXPECT_EQ(Text(dialog, 1014), "one\ntwo");
    SetText(dialog, 1000, "  Carol  ");
    SetText(dialog, 1015, "line 1\nline 2\n");
    Click(dialog, 1);

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(ReadFile(m_app.m_coverFile), "%!PS cover page\n");
    EXPECT_FALSE(qp::FileExists(m_app.m_portFile));
    ASSERT_NE(m_record.Find("Carol"), nullptr);
    EXPECT_NE(m_record.Find("line 2"), nullptr);
    EXPECT_EQ(Stored(kCoverTo), "  Carol  ");
    EXPECT_EQ(Stored(kCoverNote), "one\r\ntwo");
    EXPECT_EQ(Stored(kCoverDisclosure), "line 1\r\nline 2\r\n");
    EXPECT_EQ(Stored(kCoverPhone), "556");
    EXPECT_TRUE(m_user.messages.Texts().empty());
}

TEST_F(CoverSheetDialogTest, AFailedPrintOrCancelStoresNothing) {
    m_printerWorks = false;
    CCoverSheetDialog dialog(m_app, nullptr, Seams());
    dialog.show();
    for (int id : kFieldIds)
        SetText(dialog, id, "typed");
    Click(dialog, 1);
    EXPECT_EQ(m_user.messages.Texts(), std::vector<std::string>{"Cover sheet creation failed."});
    EXPECT_EQ(m_clock.Sleeps(), std::vector<int>(15, 1000));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(qp::FindControl<QPushButton>(&dialog, 1)->isEnabled());
    EXPECT_TRUE(qp::FindControl<QPushButton>(&dialog, 2)->isEnabled());
    Click(dialog, 2);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    for (const char* entry : kFieldEntries)
        EXPECT_EQ(Stored(entry), "<absent>") << entry;
    EXPECT_FALSE(qp::FileExists(m_app.m_coverFile));
}

TEST_F(CoverSheetDialogTest, BrowseCopiesAnyFileAndClearKeepsTheFirstBackup) {
    CCoverSheetDialog dialog(m_app, nullptr, Seams());
    const qp::CoverLogoPaths& logo = dialog.LogoPaths();
    EXPECT_EQ(logo.logo, m_user.home.File(".fx.cover.hdr"));

    QImage picture(40, 10, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(QString::fromStdString(m_user.home.File("logo.bmp")), "BMP"));
    m_chosen = m_user.home.File("logo.bmp");
    Click(dialog, 1004);
    EXPECT_EQ(ReadFile(logo.logo), ReadFile(*m_chosen));
    EXPECT_TRUE(Preview(dialog).HasImage());

    const std::string notAPicture("not\0a picture", 13);
    WriteFile(m_user.home.File("notes.txt"), notAPicture);
    m_chosen = m_user.home.File("notes.txt");
    Click(dialog, 1004);
    EXPECT_EQ(ReadFile(logo.logo), notAPicture);
    EXPECT_FALSE(Preview(dialog).HasImage());

    Click(dialog, 1005);
    Click(dialog, 1005);
    EXPECT_FALSE(qp::FileExists(logo.logo));
    EXPECT_EQ(ReadFile(logo.backup), notAPicture);
    m_chosen.reset();
    Click(dialog, 1004);
    EXPECT_FALSE(qp::FileExists(logo.logo));
    EXPECT_TRUE(m_user.messages.Texts().empty());
}

TEST_F(CoverSheetDialogTest, WithoutAHomeFolderBrowseReportsTheCopyErrorAndClearDoesNothing) {
    qp::test::ScopedEnv missingHome("HOME", m_user.home.Path() + "/missing");
    CCoverSheetDialog dialog(m_app, nullptr, Seams());
    m_chosen = m_user.home.File("logo.bmp");
    WriteFile(*m_chosen, "BM");
    Click(dialog, 1004);
    Click(dialog, 1005);
    EXPECT_EQ(
        m_user.messages.Texts(),
        std::vector<std::string>{"Error copying cover header logo: No such file or directory"});
}

} // namespace
