#include "base/WorkPaths.h"

namespace qp {

std::string UserPortFile(const std::string& port, const std::string& login) {
    const std::size_t slash = port.rfind('/');
    const std::string common = slash == std::string::npos ? "." : port.substr(0, slash);
    return common + "/" + login + "/" + port.substr(slash + 1);
}

} // namespace qp
