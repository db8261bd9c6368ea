#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qp::test {

struct TiffPage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t compression = 0;
    float xResolution = 0;
    float yResolution = 0;
    double ink = 0; // share of black pixels, from every 8th row
};

// Every page (directory) of a TIFF file as libtiff reads it; empty when it can't be opened.
std::vector<TiffPage> ReadTiffPages(const std::string& path);

// Writes `pages` small blank Fine pages with the given compression (CCITT Group 4 when 4).
void WriteTiffPages(const std::string& path, int pages, std::uint16_t compression = 4);

// A stand-in for Ghostscript's run: writes a one-page fax image where "-sOutputFile=" points.
void WriteGhostscriptOutput(const std::vector<std::string>& argv);

// Writes a fax image of `pages` blank pages of this size and resolution, with a black band across
// the top of each page (a tenth of its height) so that the pages can be told apart from the
// background.
bool WriteTiffPages(const std::string& path, int pages, std::uint32_t width, std::uint32_t height,
                    float xResolution, float yResolution, std::uint16_t compression = 4);

} // namespace qp::test
