#include "cover/PrinterFont.h"
#include "cover/PdfDevice.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFontInfo>
#include <gtest/gtest.h>

namespace {

// The cover page asks for "Arial" at a fixed pitch: it is set in a fixed-pitch face, Liberation
// Mono where installed, on the PDF page too, so its lines break by fixed-pitch metrics. A
// fixed-pitch face asked for by name is kept.
TEST(PrinterFontTest, AFixedPitchFontIsFixedPitchWhateverItsFaceIsCalled) {
    struct Case {
        qp::FontSpec spec;
        bool fixedPitch;
        const char* face; // the face it comes out in, when installed
    };
    for (const Case& c : {Case{{"Arial", 100, 400, true}, true, qp::kFixedPitchFace},
                          Case{{"Arial", 100, 700, true}, true, qp::kFixedPitchFace},
                          Case{{"DejaVu Sans Mono", 100, 400, true}, true, "DejaVu Sans Mono"},
                          Case{{"Arial", 100, 400, false}, false, nullptr}}) {
        SCOPED_TRACE(c.spec.face + (c.spec.fixedPitch ? " fixed" : " any") + " pitch");
        const QFontInfo info(qp::PrinterFont(c.spec));
        EXPECT_EQ(info.fixedPitch(), c.fixedPitch) << info.family().toStdString();
        EXPECT_EQ(info.bold(), c.spec.weight >= 700);
        if (c.face != nullptr && QFontDatabase::families().contains(QLatin1String(c.face))) {
            EXPECT_EQ(info.family().toStdString(), c.face);
        }

        QBuffer output;
        ASSERT_TRUE(output.open(QIODevice::WriteOnly));
        const auto device = qp::PdfDeviceFactory(output)("Quill Post");
        device->SelectFont(c.spec);
        const auto narrow = device->MeasureText("iiiiiiiiii");
        const auto wide = device->MeasureText("WWWWWWWWWW");
        ASSERT_TRUE(narrow && wide);
        EXPECT_EQ(narrow->width == wide->width, c.fixedPitch);
    }
}

} // namespace
