#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qp {

// A printer driver as CUPS keeps one: a PPD file in the model folder, named by its *NickName.
struct InstalledDriver {
    std::string name;
    std::string ppdPath;
};

// The drivers of the "*.ppd" files in `modelFolder`, in file name order. Returns 0, or errno when
// the folder cannot be read; a folder that does not exist yet holds no drivers.
int ListDrivers(const std::string& modelFolder, std::vector<InstalledDriver>& drivers);

// The *NickName a PPD file declares (its *ModelName when it has none), or nothing.
std::optional<std::string> ReadDriverName(const std::string& ppdPath);

} // namespace qp
