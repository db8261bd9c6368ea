#pragma once

#include "tests/support/ChildProcess.h"

#include <string>

namespace qp::test {

// Whether a tool these tests drive is installed here.
inline bool HaveCommand(const std::string& name) {
    return RunProgram({"sh", "-c", "command -v \"$0\" >/dev/null", name}).exitCode == 0;
}

} // namespace qp::test
