#include "app/WorkPaths.h"

namespace qp {

WorkPaths WorkPathsIn(const std::string& folder) {
    return WorkPaths{folder + "/fax.ps", folder + "/faxbody.ps", folder + "/faxcover.ps",
                     folder + "/fax.tif"};
}

} // namespace qp
