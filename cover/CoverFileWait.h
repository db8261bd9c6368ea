#pragma once

#include "platform/Clock.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace qp {

// How the wait looks at and moves the work files; the real file system unless a test says so.
struct CoverFileOps {
    std::function<std::optional<std::uint64_t>(const std::string&)> size;
    std::function<bool(const std::string&)> remove;
    // Fails when the new name is taken.
    std::function<bool(const std::string& from, const std::string& to)> move;
};
CoverFileOps RealCoverFileOps();

// Waits for the printed cover page to settle in the port file and moves it to the cover file.
// True once it is there; false when the port file did not hold still within the polls or could
// not be moved on the second attempt.
class CoverFileWait {
public:
    static constexpr int kPolls = 15;
    static constexpr int kPollIntervalMs = 1000;
    static constexpr int kMoveRetryDelayMs = 2000;

    static bool TakePortFile(const std::string& portFile, const std::string& coverFile,
                             Clock& clock, const CoverFileOps& ops = RealCoverFileOps());
};

} // namespace qp
