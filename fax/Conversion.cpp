#include "fax/Conversion.h"

#include "platform/FileOps.h"
#include "platform/MessageBox.h"

namespace qp {

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

bool CreateFaxImage(const std::string& gsPath, const std::string& coverPath,
                    const std::string& bodyPath, const std::string& imagePath,
                    const ConversionParams& params, ProcessRunner& runner, Clock& clock,
                    std::stop_token stop) {
    const bool withCover = FileExists(coverPath);
    const bool withBody = FileExists(bodyPath);
    if (!withCover && !withBody) {
        ShowMessage("No cover or body to create fax");
        return false;
    }

    const ProcessResult result = runner.RunAndWait(
        GhostscriptArguments(gsPath, withCover, coverPath, withBody, bodyPath, imagePath, params),
        stop);
    if (stop.stop_requested())
        return false;
    if (!result.started) {
        ShowMessage("Could not find ghostscript: " + gsPath);
        return false;
    }
    if (!result.exited || result.exitCode != 0) {
        ShowMessage("Unable to create fax: " + std::to_string(result.exitCode));
        return false;
    }
    clock.SleepMs(kAfterConversionPauseMs);
    return true;
}

} // namespace qp
