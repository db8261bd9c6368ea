#pragma once

#include <functional>
#include <string>

namespace qp {

// The work files a cover-only fax must start without and leaves behind.
struct CoverOnlyFiles {
    std::string coverFile;
    std::string bodyFile;
    std::string faxImage;
};

// How the work files are looked at and removed; the real file system unless a test says otherwise.
struct WorkFileOps {
    std::function<bool(const std::string&)> exists;
    std::function<bool(const std::string&)> remove;
};
WorkFileOps RealWorkFileOps();

// "Send Cover Only Fax...": clears the old work files (refusing with a message when one stays),
// runs the send dialog, which then finds no body file and sends the cover sheet alone, and removes
// the work files again. False when it refused to start.
bool SendCoverOnly(const CoverOnlyFiles& files, const std::function<void()>& runSendDialog,
                   const WorkFileOps& ops = RealWorkFileOps());

} // namespace qp
