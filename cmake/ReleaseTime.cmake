# Writes OUTPUT, the header "platform/ReleaseTime.h" with the time this build's release was made,
# in seconds since 1970. Run with "cmake -P" on every build, so the header follows new commits; it
# is rewritten only when the value changes, so nothing else is rebuilt.
#
# A signed update older than this time is refused, so the value must not lie after the moment the
# vendor signs the release, and the same sources should give the same value wherever they are built:
#   1. SOURCE_DATE_EPOCH of the build's environment (the reproducible-builds convention that
#      package builders set);
#   2. else the committer time of the last commit, when SOURCE_DIR is the top of a git checkout;
#   3. else FALLBACK, the time the build tree was configured.
# Inputs: SOURCE_DIR, OUTPUT, FALLBACK, GIT_EXECUTABLE (may be empty).
set(time "")
if("$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
    set(time "$ENV{SOURCE_DATE_EPOCH}")
elseif(GIT_EXECUTABLE)
    # A source tarball unpacked inside some other repository must not take that one's commits.
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --show-toplevel
                    OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
                    RESULT_VARIABLE failed)
    if(NOT failed)
        file(REAL_PATH "${top}" top)
        file(REAL_PATH "${SOURCE_DIR}" source)
        if(top STREQUAL source)
            execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" log -1 --format=%ct
                            OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
                            RESULT_VARIABLE failed)
            if(NOT failed AND commit MATCHES "^[0-9]+$")
                set(time "${commit}")
            endif()
        endif()
    endif()
endif()
if(time STREQUAL "")
    set(time "${FALLBACK}")
endif()
file(CONFIGURE OUTPUT "${OUTPUT}" CONTENT [[
#pragma once

#include <cstdint>

// Written by the build (cmake/ReleaseTime.cmake): when this build's release was made, in seconds
// since 1970. A signed update must not be older.
namespace qp {
inline constexpr std::uint64_t kReleaseTime = @time@;
} // namespace qp
]] @ONLY)
