#include "capture/PortFileHold.h"

#include <atomic>

namespace qp {
namespace {

std::atomic<int> g_holds{0};

} // namespace

PortFileHold::PortFileHold() {
    ++g_holds;
}

PortFileHold::~PortFileHold() {
    --g_holds;
}

bool PortFileHold::IsHeld() {
    return g_holds.load() > 0;
}

} // namespace qp
