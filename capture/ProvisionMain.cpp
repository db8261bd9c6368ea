// quillpost-provision: sets up the fax printer on the local CUPS server. Run it as root from the
// folder that holds gs.ppd, or anywhere once the program is installed.
#include "capture/Provisioning.h"

#include <iostream>
#include <sstream>

int main() {
    std::ostringstream lines;
    const int result = qp::ProvisionFaxPrinter(lines);
    const std::string text = lines.str();
    std::cout << text;
    // Some failure lines have no line end of their own; the result must still stand on its own.
    if (!text.empty() && text.back() != '\n')
        std::cout << '\n';
    std::cout << result << '\n';
    return result == 0 ? 0 : 1;
}
