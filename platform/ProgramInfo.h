#pragma once

// The usual answers to "--help" and "--version". Header-only and libc-only, so that the CUPS
// backend can use it too.
#include "platform/Version.h"

#include <cstdio>
#include <cstring>

namespace qp {

// A program answers only when the word is its sole argument; anywhere else on the command line it
// stays the program's own business (the tray client reads its switches anywhere in the line).
// Prints the usage text or "<program> (Quillpost) <version>" on standard output; true when it
// answered, and the program then ends with exit code 0.
inline bool AnswerInfoRequest(int argc, const char* const* argv, const char* program,
                              const char* usage) {
    if (argc != 2)
        return false;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s (Quillpost) %s\n", program, QP_VERSION);
        return true;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        std::fputs(usage, stdout);
        return true;
    }
    return false;
}

} // namespace qp
