#include "cover/gui/CoverSheetDialog.h"
#include "base/JobCoverText.h"
#include "base/Settings.h"
#include "cover/CoverFile.h"
#include "cover/PdfDevice.h"
#include "cover/gui/PictureBox.h"
#include "platform/FileOps.h"
#include "platform/gui/ControlLookup.h"
#include "tests/support/TestSupport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <semaphore>
#include <thread>

using namespace qp::settings;
using qp::test::ReadFile;
using qp::test::WriteFile;

namespace {

constexpr Setting kFieldEntries[] = {kCoverTo,    kCoverRe,   kCoverFrom,      kCoverFax,
                                     kCoverPhone, kCoverNote, kCoverDisclosure};
constexpr int kFieldIds[] = {1000, 1006, 1007, 1012, 1013, 1014, 1015};

// Records every message and ends a wait for the dialog's outcome with it.
class QuitOnMessage final : public qp::MessageSink {
public:
    QuitOnMessage(qp::MessageSink& record, QEventLoop& loop) : m_record(record), m_loop(loop) {}
    qp::MessageAnswer Show(const qp::MessageRequest& request) override {
        m_loop.quit();
        return m_record.Show(request);
    }

private:
    qp::MessageSink& m_record;
    QEventLoop& m_loop;
};

class CoverSheetDialogTest : public ::testing::Test {
protected:
    CoverSheetSeams Seams(CoverSheetSeams::DrawCover draw = {}) {
        return CoverSheetSeams{std::move(draw), [this](QWidget*, const std::string& start) {
                                   m_startFolders.push_back(start);
                                   return m_chosen;
                               }};
    }
    // A drawing that waits until the test lets it end with `m_drawResult`.
    CoverSheetSeams HeldSeams() {
        return Seams([this](const qp::CoverFields&, const std::string&, const std::string&) {
            m_drawStarted.release();
            return m_drawMayEnd.try_acquire_for(std::chrono::seconds(10)) && m_drawResult;
        });
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
    QPushButton& Button(CCoverSheetDialog& dialog, int id) {
        return *qp::FindControl<QPushButton>(&dialog, id);
    }
    void Click(CCoverSheetDialog& dialog, int id) { Button(dialog, id).click(); }
    std::string Stored(const Setting& entry) const {
        return m_profile.GetString(kSection, entry.key, "<absent>");
    }
    CPictureBox& Preview(CCoverSheetDialog& dialog) {
        return *qp::FindControl<CPictureBox>(&dialog, 1016);
    }
    // Lets the GUI thread run until the dialog has closed or told the user of a failure.
    void WaitForOutcome(CCoverSheetDialog& dialog) {
        QEventLoop loop;
        QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
        QuitOnMessage sink(m_user.messages, loop);
        const qp::ScopedMessageSink scoped(sink);
        QTimer::singleShot(std::chrono::seconds(10), &loop, &QEventLoop::quit);
        loop.exec();
    }

    qp::test::TempUserEnvironment m_user;
    qp::Profile m_profile;
    const std::string m_coverFile = m_user.home.File("faxcover.pdf");
    std::optional<std::string> m_chosen;
    std::vector<std::string> m_startFolders;
    std::binary_semaphore m_drawStarted{0};
    std::binary_semaphore m_drawMayEnd{0};
    bool m_drawResult = false;
};

TEST_F(CoverSheetDialogTest, OkDrawsTheTypedTextIntoAOnePagePdfOffTheGuiThreadThenStoresIt) {
    const std::string stored[] = {" Ann ", "Re", "Bob", "555", "556", "one\r\ntwo", "Private"};
    for (std::size_t i = 0; i < std::size(kFieldEntries); ++i)
        m_profile.WriteString(kSection, kFieldEntries[i].key, stored[i]);
    // To, Re and Notes are the fax's own, beside its cover page; the stored ones are not its.
    WriteFile(m_user.home.File("faxcover.txt"), "to= Ann \nre=Re\nnotes=one\\r\\ntwo\n");
    qp::CoverFields drawn;
    std::string drawnInto;
    std::thread::id drawnOn;
    CCoverSheetDialog dialog(
        m_profile, m_coverFile, nullptr,
        Seams([&](const qp::CoverFields& fields, const std::string& logo, const std::string& pdf) {
            drawn = fields;
            drawnInto = pdf;
            drawnOn = std::this_thread::get_id();
            return qp::DrawCoverFile(fields, logo, pdf);
        }));
    EXPECT_EQ(dialog.windowTitle(), "Cover Sheet");
    EXPECT_EQ(Text(dialog, 1000), " Ann ");
    EXPECT_EQ(Text(dialog, 1014), "one\ntwo");
    SetText(dialog, 1000, "  Carol  ");
    SetText(dialog, 1015, "line 1\nline 2\n");

    Click(dialog, 1);
    EXPECT_FALSE(Button(dialog, 1).isEnabled());
    EXPECT_FALSE(Button(dialog, 2).isEnabled());
    WaitForOutcome(dialog);

    ASSERT_EQ(dialog.result(), QDialog::Accepted)
        << ::testing::PrintToString(m_user.messages.Texts());
    EXPECT_NE(drawnOn, std::this_thread::get_id());
    EXPECT_EQ(drawnInto, m_coverFile);
    EXPECT_EQ(drawn.to, "  Carol  ");
    EXPECT_EQ(drawn.disclosure, "line 1\r\nline 2\r\n");
    EXPECT_EQ(ReadFile(m_coverFile).substr(0, 4), "%PDF");
    EXPECT_EQ(qp::ReadJobCoverText(m_user.home.File("faxcover.txt")),
              (qp::JobCoverText{"  Carol  ", "Re", "one\r\ntwo"}));
    EXPECT_EQ(Stored(kCoverTo), " Ann ") << "left as it was";
    EXPECT_EQ(Stored(kCoverDisclosure), "line 1\r\nline 2\r\n");
    EXPECT_EQ(Stored(kCoverPhone), "556");
    EXPECT_TRUE(m_user.messages.Texts().empty());
}

TEST_F(CoverSheetDialogTest, ADrawingHoldsTheDialogOpenAFailureKeepsItOpenAndNothingIsStored) {
    auto dialog = std::make_unique<CCoverSheetDialog>(m_profile, m_coverFile, nullptr, HeldSeams());
    dialog->show();
    for (int id : kFieldIds)
        SetText(*dialog, id, "typed");

    Click(*dialog, 1);
    ASSERT_TRUE(m_drawStarted.try_acquire_for(std::chrono::seconds(10)));
    EXPECT_FALSE(Button(*dialog, 1).isEnabled());
    EXPECT_FALSE(Button(*dialog, 2).isEnabled());
    dialog->close(); // the close box and Escape alike
    EXPECT_TRUE(dialog->isVisible());
    m_drawMayEnd.release();
    WaitForOutcome(*dialog);

    EXPECT_EQ(m_user.messages.Texts(), std::vector<std::string>{"Cover sheet creation failed."});
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(Button(*dialog, 1).isEnabled());
    EXPECT_TRUE(Button(*dialog, 2).isEnabled());

    // Gone while a good drawing ends: the dialog waits for it and its outcome goes with it.
    m_drawResult = true;
    Click(*dialog, 1);
    ASSERT_TRUE(m_drawStarted.try_acquire_for(std::chrono::seconds(10)));
    m_drawMayEnd.release();
    dialog.reset();
    QCoreApplication::sendPostedEvents();
    for (const Setting& entry : kFieldEntries)
        EXPECT_EQ(Stored(entry), "<absent>") << entry.key;
    EXPECT_FALSE(qp::FileExists(m_coverFile));
}

// Two faxes' sheets open side by side: each shows and keeps its own To, Re and Notes, also for a
// job offered again; From and the other shared fields go from one to the next.
TEST_F(CoverSheetDialogTest, EachFaxKeepsItsOwnToReAndNotes) {
    const std::string first = m_user.home.File("first/faxcover.pdf");
    const std::string second = m_user.home.File("second/faxcover.pdf");
    std::filesystem::create_directories(m_user.home.File("first"));
    std::filesystem::create_directories(m_user.home.File("second"));
    auto drawn = Seams([](const qp::CoverFields&, const std::string&, const std::string& pdf) {
        WriteFile(pdf, "%PDF");
        return true;
    });
    auto fill = [&](const std::string& cover, const QString& to, const QString& note) {
        CCoverSheetDialog dialog(m_profile, cover, nullptr, drawn);
        SetText(dialog, 1000, to);
        SetText(dialog, 1006, "Re " + to);
        SetText(dialog, 1014, note);
        SetText(dialog, 1007, "From " + to);
        Click(dialog, 1);
        WaitForOutcome(dialog);
        ASSERT_EQ(dialog.result(), QDialog::Accepted);
    };

    // To, Re, Notes and From as a sheet opens.
    auto shown = [&](const std::string& cover) {
        CCoverSheetDialog dialog(m_profile, cover, nullptr, drawn);
        std::vector<std::string> texts;
        for (int id : {1000, 1006, 1014, 1007})
            texts.push_back(Text(dialog, id).toStdString());
        return texts;
    };
    using Texts = std::vector<std::string>;

    fill(first, "Alice", "one\ntwo");
    EXPECT_EQ(shown(second), (Texts{"", "", "", "From Alice"}));
    fill(second, "Bob", "three");
    EXPECT_EQ(shown(first), (Texts{"Alice", "Re Alice", "one\ntwo", "From Bob"}));
    EXPECT_EQ(shown(second), (Texts{"Bob", "Re Bob", "three", "From Bob"}));
}

// Browse opens in the user's pictures (the home folder while there are none), then where the last
// logo came from, in the next dialog too, while that folder is there.
TEST_F(CoverSheetDialogTest, BrowseOpensInThePicturesThenWhereTheLastLogoCameFrom) {
    const std::string home = m_user.home.Path(), pictures = m_user.home.File("Pictures"),
                      logos = m_user.home.File("logos");
    std::filesystem::create_directory(logos);
    WriteFile(logos + "/logo.bmp", "BM");
    {
        CCoverSheetDialog dialog(m_profile, m_coverFile, nullptr, Seams());
        Click(dialog, 1004);
        std::filesystem::create_directory(pictures);
        Click(dialog, 1004);
        m_chosen = logos + "/logo.bmp";
        Click(dialog, 1004);
    }
    m_chosen.reset();
    CCoverSheetDialog next(m_profile, m_coverFile, nullptr, Seams());
    Click(next, 1004);
    std::filesystem::remove_all(logos);
    Click(next, 1004);
    EXPECT_EQ(m_startFolders,
              (std::vector<std::string>{home, pictures, pictures, logos, pictures}));
}

TEST_F(CoverSheetDialogTest, BrowseCopiesAnyFileAndClearKeepsTheFirstBackup) {
    CCoverSheetDialog dialog(m_profile, m_coverFile, nullptr, Seams());
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

// A 40 by 10 red picture as a GIF; Qt reads GIF but does not write it.
const unsigned char kRedGif[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x28, 0x00, 0x0a, 0x00, 0xf0, 0x00, 0x00, 0xff, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00,
    0x00, 0x00, 0x28, 0x00, 0x0a, 0x00, 0x00, 0x02, 0x11, 0x84, 0x8f, 0xa9, 0xcb, 0xed, 0x0f,
    0xa3, 0x9c, 0xb4, 0xda, 0x8b, 0xb3, 0xde, 0xbc, 0xfb, 0xaf, 0x15, 0x00, 0x3b};

// Writes a red picture of that size in that format, or the GIF above.
void WritePicture(const std::string& path, const char* format, QSize size) {
    if (std::string(format) == "gif") {
        WriteFile(path, std::string(std::begin(kRedGif), std::end(kRedGif)));
        return;
    }
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(QString::fromStdString(path), format));
}

// Every format "Browse..." offers is read by the preview and by the cover page, and keeps its
// shape in the 246 by 41 preview, at its top left corner.
TEST_F(CoverSheetDialogTest, BrowseOffersEveryFormatALogoIsReadInAndThePreviewKeepsItsShape) {
    struct Case {
        const char* format;
        const char* pattern;
        QSize size;
        QRect preview;
    };
    const Case cases[] = {{"bmp", "*.bmp", {40, 10}, {0, 0, 164, 41}},
                          {"png", "*.png", {10, 40}, {0, 0, 10, 41}},
                          {"jpeg", "*.jpg", {30, 30}, {0, 0, 41, 41}},
                          {"gif", "*.gif", {40, 10}, {0, 0, 164, 41}}};
    const QStringList filters = LogoFileFilter().split(QStringLiteral(";;"));
    EXPECT_TRUE(filters.contains(QStringLiteral("Bitmap Files (*.bmp)")));
    CCoverSheetDialog dialog(m_profile, m_coverFile, nullptr, Seams());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_TRUE(filters.first().contains(QLatin1String(c.pattern)));
        m_chosen = m_user.home.File(std::string("logo.") + c.format);
        WritePicture(*m_chosen, c.format, c.size);
        Click(dialog, 1004);
        EXPECT_TRUE(Preview(dialog).HasImage());
        EXPECT_EQ(Preview(dialog).ImageRect(), c.preview);

        QBuffer page;
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        const auto logo =
            qp::PdfDeviceFactory(page)("Quill Post")->LoadBitmap(dialog.LogoPaths().logo);
        ASSERT_NE(logo, nullptr);
        EXPECT_EQ(QSize(logo->Width(), logo->Height()), c.size);
    }
    EXPECT_TRUE(m_user.messages.Texts().empty());
}

int CursorX(const QLineEdit& edit) {
    return edit.inputMethodQuery(Qt::ImCursorRectangle).toRect().x();
}

// No label touches the dialog's edge or a field, no label is cut short, and the To field shows
// a recipient of 40 characters whole.
TEST_F(CoverSheetDialogTest, LabelsKeepClearOfEdgesAndFieldsAndToShowsFortyCharacters) {
    CCoverSheetDialog dialog(m_profile, m_coverFile, nullptr, Seams());
    dialog.show();
    constexpr int kClearance = 4;
    const QRect inside = dialog.rect().adjusted(kClearance, kClearance, -kClearance, -kClearance);
    const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 9);
    for (const QLabel* label : labels) {
        SCOPED_TRACE(label->text().toStdString());
        const QRect at(label->mapTo(&dialog, QPoint(0, 0)), label->size());
        EXPECT_TRUE(inside.contains(at));
        EXPECT_GE(label->width(), label->sizeHint().width());
        for (const QWidget* field : dialog.findChildren<QWidget*>()) {
            if (qobject_cast<const QLabel*>(field) || !field->property("controlId").isValid())
                continue;
            const QRect fieldAt(field->mapTo(&dialog, QPoint(0, 0)), field->size());
            EXPECT_FALSE(at.adjusted(-kClearance, 0, kClearance, 0).intersects(fieldAt))
                << field->objectName().toStdString();
        }
    }

    auto& to = *qp::FindControl<QLineEdit>(&dialog, 1000);
    const QString recipient = QStringLiteral("Accounts Payable, Northwind Traders Ltd.");
    ASSERT_EQ(recipient.size(), 40);
    to.setText(recipient);
    to.setCursorPosition(0);
    dialog.grab();
    const int start = CursorX(to);
    // The line edit scrolls its text when painted with the cursor past the visible end; the start
    // stays where it was when the whole text shows.
    to.setCursorPosition(static_cast<int>(recipient.size()));
    dialog.grab();
    to.setCursorPosition(0);
    EXPECT_EQ(CursorX(to), start);
}

TEST_F(CoverSheetDialogTest, WithoutAHomeFolderBrowseReportsTheCopyErrorAndClearDoesNothing) {
    qp::test::ScopedEnv missingHome("HOME", m_user.home.Path() + "/missing");
    CCoverSheetDialog dialog(m_profile, m_coverFile, nullptr, Seams());
    m_chosen = m_user.home.File("logo.bmp");
    WriteFile(*m_chosen, "BM");
    Click(dialog, 1004);
    Click(dialog, 1005);
    EXPECT_EQ(
        m_user.messages.Texts(),
        std::vector<std::string>{"Error copying cover header logo: No such file or directory"});
}

} // namespace
