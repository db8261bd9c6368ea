#include "app/WorkPaths.h"

namespace qp {

WorkPaths WorkPathsIn(const std::string& folder) {
    return WorkPaths{folder + "/fax.ps", folder + "/faxbody.ps", folder + "/faxcover.ps",
                     folder + "/fax.tif"};
}

WorkPaths UserWorkPaths(const std::string& port, const std::string& login) {
    const std::size_t slash = port.rfind('/');
    const std::string common = slash == std::string::npos ? "." : port.substr(0, slash);
    const std::string folder = common + "/" + login;
    WorkPaths paths = WorkPathsIn(folder);
    paths.portFile = folder + "/" + port.substr(slash + 1);
    return paths;
}

} // namespace qp
