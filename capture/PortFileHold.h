#pragma once

namespace qp {

// While a scope of this kind is alive the program itself is printing through the fax printer (a
// cover page on its way to the cover file), so the watcher must not take the port file for a new
// print job. Scopes may nest and may live on any thread.
class PortFileHold {
public:
    PortFileHold();
    ~PortFileHold();
    PortFileHold(const PortFileHold&) = delete;
    PortFileHold& operator=(const PortFileHold&) = delete;

    static bool IsHeld();
};

} // namespace qp
