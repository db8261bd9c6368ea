#include "capture/Diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace qp {

void Diagnose(std::ostream& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length > 0) {
        std::vector<char> text(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        out.write(text.data(), length);
        out.flush();
    }
    va_end(again);
}

void WriteEndedLines(std::ostream& out, const std::string& text) {
    out << text;
    if (!text.empty() && text.back() != '\n')
        out << '\n';
    out.flush();
}

} // namespace qp
