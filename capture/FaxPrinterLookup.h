#pragma once

#include "capture/PrintServer.h"

#include <iostream>
#include <string>

namespace qp {

// The port file of the fax printer: the path in the device URI of the last queue whose name is
// "Quill Post" (see IsFaxPrinterName) and that prints through the quillpost backend. Empty when
// there is none; when the queues cannot be listed, says so on `out` and returns empty.
std::string FindFaxPrinterPort(PrintServer& server, std::ostream& out);
std::string FindFaxPrinterPort(std::ostream& out = std::cout);

} // namespace qp
