#include "tests/cover/support/RecordingDevice.h"

#include "platform/FileOps.h"
#include "platform/Utf8Text.h"

namespace qp::test {
namespace {

class FakeBitmap final : public DeviceBitmap {
public:
    FakeBitmap(int width, int height) : m_width(width), m_height(height) {}
    int Width() const override { return m_width; }
    int Height() const override { return m_height; }

private:
    int m_width;
    int m_height;
};

} // namespace

std::vector<std::string> DeviceRecord::TextsAt(int y) const {
    std::vector<std::string> found;
    for (const DrawnText& text : texts) {
        if (text.y == y)
            found.push_back(text.text);
    }
    return found;
}

const DrawnText* DeviceRecord::Find(const std::string& wanted) const {
    for (const DrawnText& text : texts) {
        if (text.text == wanted)
            return &text;
    }
    return nullptr;
}

DrawingDeviceFactory RecordingDevice::Factory(DeviceRecord& record) {
    return Factory(record, Setup{});
}

DrawingDeviceFactory RecordingDevice::Factory(DeviceRecord& record, Setup setup) {
    return [&record, setup](const std::string&) {
        return std::make_unique<RecordingDevice>(record, setup);
    };
}

bool RecordingDevice::StartPage() {
    ++m_record.pagesStarted;
    return true;
}

bool RecordingDevice::EndPage() {
    ++m_record.pagesEnded;
    return true;
}

bool RecordingDevice::EndDocument() {
    m_record.documentEnded = true;
    if (m_setup.onEndDocument)
        m_setup.onEndDocument();
    return true;
}

std::optional<TextSize> RecordingDevice::MeasureText(std::string_view text) {
    return TextSize{static_cast<int>(CharacterCount(text)) * kCharWidth, m_font.pixelSize};
}

void RecordingDevice::DrawText(int x, int y, std::string_view text) {
    m_record.texts.push_back({m_record.pagesStarted, x, y, std::string(text), m_font});
}

void RecordingDevice::DrawLine(int, int y1, int, int, int) {
    m_record.ruleYs.push_back(y1);
}

std::shared_ptr<const DeviceBitmap> RecordingDevice::MakeBitmap(const GreyPicture& picture) {
    return std::make_shared<FakeBitmap>(picture.width, picture.height);
}

std::shared_ptr<const DeviceBitmap> RecordingDevice::LoadBitmap(const std::string& path) {
    const std::optional<std::uint64_t> size = FileSize(path);
    if (!size || *size == 0)
        return nullptr;
    return std::make_shared<FakeBitmap>(m_setup.bitmapWidth, m_setup.bitmapHeight);
}

bool RecordingDevice::DrawBitmap(const DeviceBitmap&, int x, int y, int width, int height) {
    m_record.bitmaps.push_back({m_record.pagesStarted, x, y, width, height});
    return true;
}

} // namespace qp::test
