#pragma once

#include "base/Outcome.h"
#include "fax/SendSettings.h"
#include "platform/ProcessRunner.h"

#include <stop_token>
#include <string>
#include <vector>

namespace qp {

// Ghostscript's argument vector, program first: the G4 TIFF device at the chosen resolution and
// page size, the image as output, then the cover (when present) before the body (when present),
// so the cover's pages come first.
std::vector<std::string> GhostscriptArguments(const std::string& gsPath, bool withCover,
                                              const std::string& coverPath, bool withBody,
                                              const std::string& bodyPath,
                                              const std::string& imagePath,
                                              const ConversionParams& params);

// Turns whichever of the cover and body files exist into the fax image, after removing any old
// image, and checks that the result is a fax image (see FaxImageProblem). Blocks only the calling
// thread (Ghostscript, then a look at its image), so it may run on a worker. A failure carries the message
// for the user; a stop request ends Ghostscript and fails without one.
Outcome CreateFaxImage(const std::string& gsPath, const std::string& coverPath,
                       const std::string& bodyPath, const std::string& imagePath,
                       const ConversionParams& params, ProcessRunner& runner,
                       std::stop_token stop = {});

} // namespace qp
