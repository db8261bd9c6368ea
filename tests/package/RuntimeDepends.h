#pragma once

#include <map>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qp::test {

// The shared objects (libraries and plugins, whether linked or loaded later) mapped into a running
// process, by their real paths.
std::set<std::string> LoadedSharedObjects(pid_t pid);

// The installed packages that own each file, from one run of dpkg -S; a file no package owns maps
// to nothing. dpkg knows some files by their path before /usr was merged (/lib/...), which is
// tried too.
std::map<std::string, std::set<std::string>> OwningPackages(const std::set<std::string>& files);

// The packages a Depends field makes sure of on this system: those it names, everything their
// Pre-Depends and Depends name, and so on, with each alternative of a group and each installed
// provider of a virtual name, plus every Essential package and what it needs (dpkg never lets
// those go). Read in one run of dpkg-query.
std::set<std::string> CoveredPackages(const std::string& dependsField);

} // namespace qp::test
