#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qp {

// A picture of grey levels (0 black, 255 white), rows top to bottom with no padding: how a fax
// page, once decoded and reduced, travels from the code that reads fax images to the code that
// draws pages.
struct GreyPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    static GreyPicture White(int width, int height) {
        return GreyPicture{width, height,
                           std::vector<std::uint8_t>(static_cast<std::size_t>(width) *
                                                         static_cast<std::size_t>(height),
                                                     255)};
    }
    std::uint8_t* Row(int y) { return pixels.data() + static_cast<std::size_t>(y) * width; }
    const std::uint8_t* Row(int y) const {
        return pixels.data() + static_cast<std::size_t>(y) * width;
    }
    bool Empty() const { return width <= 0 || height <= 0; }
};

} // namespace qp
