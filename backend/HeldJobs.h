#pragma once

#include <cstdio>
#include <string>

namespace qp::backend {

// While this file lies in the common folder, a package upgrade has yet to move the jobs that
// backends of the earlier release still hold: every new job waits in its user's waiting folder
// then, so that none overtakes an older one.
inline constexpr const char* kUpgradeMarker = ".upgrading";

// Backends of earlier releases kept a job whose user had not taken the previous one in a process
// of their own: a root process in a session of its own, holding the job's temporary file
// "<user folder>/.<port name>.<...>" open and locked until the port file came free, and deleting
// it when told to end. This moves each such job into its user's waiting folder under the earlier
// name, by its job id (from the process's command line), so that it comes out in turn before the
// jobs parked by this release, and then kills the process
// without letting it clean up. Backends of that release that are still writing a job are waited
// for. `portTemplate` is the port path of the device URI (the common folder and the port name).
// Says what it did on `out`; 0 when no such job is left.
int ParkHeldJobs(const std::string& portTemplate, std::FILE* out);

} // namespace qp::backend
