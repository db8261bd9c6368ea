#include "fax/Conversion.h"

#include "fax/FaxImageCheck.h"
#include "platform/FileOps.h"

#include <cerrno>

namespace qp {

namespace {
constexpr const char* kConversionFailed = "Unable to create fax: ";
} // namespace

std::vector<std::string> GhostscriptArguments(const std::string& gsPath, bool withCover,
                                              const std::string& coverPath, bool withBody,
                                              const std::string& bodyPath,
                                              const std::string& imagePath,
                                              const ConversionParams& params) {
    std::vector<std::string> argv{
        gsPath,
        "-sDEVICE=tiffg4",
        "-r" + std::to_string(params.xDpi) + "x" + std::to_string(params.yDpi),
        "-q",
        "-dNOPAUSE",
        "-dBATCH",
        "-g" + std::to_string(params.widthPx) + "x" + std::to_string(params.heightPx),
        "-sOutputFile=" + imagePath,
    };
    if (withCover)
        argv.push_back(coverPath);
    if (withBody)
        argv.push_back(bodyPath);
    return argv;
}

Outcome CreateFaxImage(const std::string& gsPath, const std::string& coverPath,
                       const std::string& bodyPath, const std::string& imagePath,
                       const ConversionParams& params, ProcessRunner& runner,
                       std::stop_token stop) {
    const bool withCover = FileExists(coverPath);
    const bool withBody = FileExists(bodyPath);
    if (!withCover && !withBody)
        return Outcome::Failure("No cover or body to create fax");

    // Only what this conversion writes may be sent: whatever has the image's name goes first.
    if (!RemoveFile(imagePath) && errno != ENOENT)
        return Outcome::Failure(std::string(kConversionFailed) + "the old image cannot be removed");

    const ProcessResult result = runner.RunAndWait(
        GhostscriptArguments(gsPath, withCover, coverPath, withBody, bodyPath, imagePath, params),
        stop);
    if (stop.stop_requested())
        return Outcome::Stopped();
    if (!result.started)
        return Outcome::Failure("Could not find ghostscript: " + gsPath);
    if (!result.exited || result.exitCode != 0)
        return Outcome::Failure(kConversionFailed + std::to_string(result.exitCode));
    if (const std::optional<std::string> problem = FaxImageProblem(imagePath))
        return Outcome::Failure(kConversionFailed + *problem);
    return Outcome::Success();
}

} // namespace qp
