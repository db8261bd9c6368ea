#include "cover/PrinterFont.h"

#include <QFontInfo>
#include <QStringList>
#include <algorithm>

namespace qp {

QFont PrinterFont(const FontSpec& spec) {
    QFont font(QString::fromStdString(spec.face));
    font.setPixelSize(std::max(spec.pixelSize, 1));
    font.setWeight(static_cast<QFont::Weight>(spec.weight));
    if (!spec.fixedPitch)
        return font;
    font.setFixedPitch(true);
    // The last resort, when none of the faces below is installed: the system's monospace face.
    font.setStyleHint(QFont::TypeWriter);
    // Fontconfig answers "Arial" with its sans-serif stand-in; the pitch is checked, not the name.
    if (!QFontInfo(font).fixedPitch())
        font.setFamilies({QString::fromLatin1(kFixedPitchFace), QStringLiteral("Courier New")});
    return font;
}

} // namespace qp
