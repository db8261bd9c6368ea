#include "tools/view/ViewerWindow.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/support/TestSupport.h"
#include "tools/view/PageCanvas.h"

#include <QScrollArea>
#include <QTest>
#include <gtest/gtest.h>

using qp::view::TiffDocument;
using qp::view::ViewerWindow;

namespace {

class ViewerWindowTest : public ::testing::Test {
protected:
    std::unique_ptr<ViewerWindow> Open(int pages, std::uint32_t width, std::uint32_t height,
                                       float xDpi, float yDpi,
                                       std::size_t limit = qp::view::kMaxDecodedPageBytes) {
        const std::string path = m_dir.File("fax.tif");
        EXPECT_TRUE(qp::test::WriteTiffPages(path, pages, width, height, xDpi, yDpi));
        std::unique_ptr<TiffDocument> document = TiffDocument::Open(path);
        EXPECT_NE(document, nullptr);
        auto window = std::make_unique<ViewerWindow>(std::move(document), "fax.tif", limit);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return window;
    }

    qp::test::TempDir m_dir;
};

TEST_F(ViewerWindowTest, KeysMoveBetweenPagesAndStopAtTheEnds) {
    auto window = Open(3, 1728, 1078, 204, 98);
    const std::pair<Qt::Key, QString> steps[] = {
        {Qt::Key_PageUp, "Page 1 of 3"},   {Qt::Key_PageDown, "Page 2 of 3"},
        {Qt::Key_PageDown, "Page 3 of 3"}, {Qt::Key_PageDown, "Page 3 of 3"},
        {Qt::Key_Home, "Page 1 of 3"},     {Qt::Key_End, "Page 3 of 3"},
        {Qt::Key_PageUp, "Page 2 of 3"},
    };
    EXPECT_EQ(window->PageText(), "Page 1 of 3");
    for (const auto& [key, expected] : steps) {
        QTest::keyClick(window.get(), key);
        EXPECT_EQ(window->PageText(), expected) << QTest::toString(key);
    }
}

TEST_F(ViewerWindowTest, EscapeCtrlWAndCtrlQCloseTheWindowAndPlainWFitsTheWidth) {
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, bool> keys[] = {
        {Qt::Key_Escape, Qt::NoModifier, true}, {Qt::Key_W, Qt::ControlModifier, true},
        {Qt::Key_Q, Qt::ControlModifier, true}, {Qt::Key_W, Qt::NoModifier, false},
        {Qt::Key_Q, Qt::NoModifier, false},
    };
    for (const auto& [key, modifiers, closes] : keys) {
        auto window = Open(1, 1728, 1078, 204, 98);
        QTest::keyClick(window.get(), key, modifiers);
        EXPECT_EQ(window->isVisible(), !closes)
            << QTest::toString(key) << " with modifiers " << modifiers.toInt();
    }
}

TEST_F(ViewerWindowTest, PagesAreShownAtTheirTrueAspectRatioAndZoom) {
    auto window = Open(1, 1728, 1078, 204, 98);
    EXPECT_EQ(window->FitMode(), ViewerWindow::Fit::Page);
    QSize shown = window->ShownSize();
    EXPECT_NEAR(static_cast<double>(shown.height()) / shown.width(), 11.0 / 8.47, 0.01);
    EXPECT_LE(shown.height(), window->centralWidget()->height());

    const double fitted = window->Scale();
    QTest::keyClick(window.get(), Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(window->Scale(), fitted * 1.25);
    EXPECT_EQ(window->FitMode(), ViewerWindow::Fit::None);
    QTest::keyClick(window.get(), Qt::Key_Minus);
    EXPECT_DOUBLE_EQ(window->Scale(), fitted);

    QTest::keyClick(window.get(), Qt::Key_W);
    EXPECT_LE(window->ShownSize().width(), window->centralWidget()->width());
    EXPECT_GT(window->Scale(), fitted) << "a Letter page fitted whole is narrower than the window";
}

// A page too large to hold whole is decoded into the size it is shown at, and stays within the
// limit however far it is zoomed; a smaller one is decoded whole, once.
TEST_F(ViewerWindowTest, ATallPageIsDecodedIntoTheSizeItIsShownAt) {
    constexpr std::size_t kLimit = 1 << 20;
    const QSize page(256, 60000); // 15 MB in grey
    auto window = Open(1, page.width(), page.height(), 204, 196, kLimit);
    EXPECT_EQ(window->DecodedPage().size(), window->ShownSize());
    const QImage& decoded = window->DecodedPage();
    EXPECT_EQ(qGray(decoded.pixel(0, 0)), 0) << "the black band at the top";
    EXPECT_EQ(qGray(decoded.pixel(0, decoded.height() - 1)), 255);
    const auto* scroll = window->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    QWidget* canvas = scroll->widget();
    EXPECT_EQ(canvas->size(), window->ShownSize());
    EXPECT_EQ(qGray(canvas->grab(QRect(0, 0, canvas->width(), 4)).toImage().pixel(0, 1)), 0);

    for (const Qt::Key key : {Qt::Key_Plus, Qt::Key_W}) {
        QTest::keyClick(window.get(), key);
        const QSize decodedSize = window->DecodedPage().size();
        EXPECT_LE(window->DecodedPage().sizeInBytes(), qsizetype{kLimit}) << key;
        EXPECT_EQ(decodedSize, window->ShownSize().boundedTo(decodedSize)) << key;
        EXPECT_LT(decodedSize.height(), page.height()) << key;
    }

    auto whole = Open(1, page.width(), page.height(), 204, 196);
    EXPECT_EQ(whole->DecodedPage().size(), page);
}

} // namespace
