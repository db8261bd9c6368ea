#include "platform/CommonFolder.h"

#include <cstdlib>
#include <sys/stat.h>

namespace qp {

std::string CommonFolderPath() {
    const char* configured = std::getenv("QUILLPOST_COMMON_DIR");
    if (configured != nullptr && configured[0] != '\0') {
        std::string folder = configured;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        return folder;
    }
    return "/var/spool/quillpost";
}

std::optional<std::string> ExistingCommonFolder() {
    std::string folder = CommonFolderPath();
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    return folder;
}

} // namespace qp
