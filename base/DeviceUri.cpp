#include "base/DeviceUri.h"

#include <cctype>
#include <cstring>

namespace qp {

namespace {

bool IsSafe(unsigned char c) {
    return std::isalnum(c) != 0 || std::strchr("/-_.~+,=@", c) != nullptr;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string PortUriFromPath(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri = std::string(kPortScheme) + ":";
    for (char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsSafe(c)) {
            uri += ch;
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 0x0f];
        }
    }
    return uri;
}

std::optional<std::string> PortPathFromUri(const std::string& uri) {
    const std::string prefix = std::string(kPortScheme) + ":";
    if (uri.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    std::string path;
    for (std::size_t i = prefix.size(); i < uri.size(); ++i) {
        if (uri[i] != '%') {
            path += uri[i];
            continue;
        }
        const int high = i + 2 < uri.size() ? HexValue(uri[i + 1]) : -1;
        const int low = i + 2 < uri.size() ? HexValue(uri[i + 2]) : -1;
        if (high < 0 || low < 0)
            return std::nullopt;
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    // A NUL would cut the path short where the file system sees it.
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos)
        return std::nullopt;
    return path;
}

} // namespace qp
