#include "capture/PpdDriver.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fstream>
#include <strings.h>
#include <sys/stat.h>

namespace qp {

namespace {

// The quoted value of a "*Keyword: "value"" line, when the line is that keyword.
std::optional<std::string> QuotedValue(const std::string& line, const std::string& keyword) {
    const std::string prefix = "*" + keyword + ":";
    if (line.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    const std::size_t open = line.find('"', prefix.size());
    if (open == std::string::npos)
        return std::nullopt;
    const std::size_t close = line.find('"', open + 1);
    if (close == std::string::npos)
        return std::nullopt;
    return line.substr(open + 1, close - open - 1);
}

bool HasPpdExtension(const std::string& name) {
    return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".ppd") == 0;
}

} // namespace

std::optional<std::string> ReadDriverName(const std::string& ppdPath) {
    std::ifstream in(ppdPath, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string line;
    std::optional<std::string> modelName;
    if (!std::getline(in, line) || line.rfind("*PPD-Adobe:", 0) != 0)
        return std::nullopt;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (std::optional<std::string> nick = QuotedValue(line, "NickName"))
            return nick;
        if (std::optional<std::string> model = QuotedValue(line, "ModelName"))
            modelName = model;
    }
    return modelName;
}

int ListDrivers(const std::string& modelFolder, std::vector<InstalledDriver>& drivers) {
    drivers.clear();
    DIR* dir = ::opendir(modelFolder.c_str());
    if (dir == nullptr)
        return errno == ENOENT ? 0 : errno;
    std::vector<std::string> files;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (HasPpdExtension(name))
            files.push_back(modelFolder + "/" + name);
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0)
        return readError;
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (std::optional<std::string> name = ReadDriverName(file))
            drivers.push_back(InstalledDriver{*name, file});
    }
    return 0;
}

} // namespace qp
