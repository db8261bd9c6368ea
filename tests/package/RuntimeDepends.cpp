#include "tests/package/RuntimeDepends.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace qp::test {

namespace {

// "libfoo:amd64" names the package libfoo.
std::string WithoutArchitecture(std::string name) {
    return name.substr(0, name.find(':'));
}

std::string Trimmed(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t\n");
    if (begin == std::string::npos)
        return "";
    return text.substr(begin, text.find_last_not_of(" \t\n") - begin + 1);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    std::string part;
    while (std::getline(in, part, separator))
        parts.push_back(part);
    return parts;
}

// The package names of a relationship field ("a (>= 1), b | c:any"), every alternative included.
std::vector<std::string> NamesIn(const std::string& field) {
    std::vector<std::string> names;
    for (const std::string& group : Split(field, ','))
        for (const std::string& choice : Split(group, '|')) {
            const std::string name =
                WithoutArchitecture(Trimmed(choice.substr(0, choice.find('('))));
            if (!name.empty())
                names.push_back(name);
        }
    return names;
}

struct Installed {
    std::map<std::string, std::vector<std::string>> needs;
    std::map<std::string, std::vector<std::string>> providers;
    std::vector<std::string> essential;
};

Installed ReadInstalled() {
    const ProgramRun run =
        RunProgram({"dpkg-query", "-W",
                    "-f=${db:Status-Status}\t${Package}\t${Essential}\t${Provides}\t"
                    "${Pre-Depends}, ${Depends}\n"});
    Installed installed;
    for (const std::string& line : Split(run.out, '\n')) {
        const std::vector<std::string> fields = Split(line, '\t');
        if (fields.size() < 5 || fields[0] != "installed")
            continue;
        const std::string& package = fields[1];
        installed.needs[package] = NamesIn(fields[4]);
        for (const std::string& provided : NamesIn(fields[3]))
            installed.providers[provided].push_back(package);
        if (fields[2] == "yes")
            installed.essential.push_back(package);
    }
    return installed;
}

} // namespace

std::set<std::string> LoadedSharedObjects(pid_t pid) {
    std::set<std::string> files;
    std::istringstream maps(ReadFile("/proc/" + std::to_string(pid) + "/maps"));
    std::string line;
    while (std::getline(maps, line)) {
        const std::size_t slash = line.find('/');
        if (slash == std::string::npos)
            continue;
        const std::string path = line.substr(slash);
        if (path.find(".so") != std::string::npos && path.find(" (deleted)") == std::string::npos)
            files.insert(path);
    }
    return files;
}

std::map<std::string, std::set<std::string>> OwningPackages(const std::set<std::string>& files) {
    std::vector<std::string> argv{"dpkg", "-S"};
    std::map<std::string, std::string> asloaded;
    for (const std::string& file : files) {
        argv.push_back(file);
        asloaded[file] = file;
        if (file.rfind("/usr/", 0) == 0) {
            argv.push_back(file.substr(4));
            asloaded[file.substr(4)] = file;
        }
    }
    std::map<std::string, std::set<std::string>> owners;
    for (const std::string& file : files)
        owners[file];
    // Exits 1 when some path has no owner; the others are printed all the same.
    for (const std::string& line : Split(RunProgram(argv).out, '\n')) {
        const std::size_t colon = line.find(": /");
        if (colon == std::string::npos || asloaded.count(line.substr(colon + 2)) == 0)
            continue;
        // "pkg1, pkg2: /path" where a file is shared (diversions, multi-arch copies).
        for (const std::string& package : Split(line.substr(0, colon), ','))
            owners[asloaded[line.substr(colon + 2)]].insert(WithoutArchitecture(Trimmed(package)));
    }
    return owners;
}

std::set<std::string> CoveredPackages(const std::string& dependsField) {
    const Installed installed = ReadInstalled();
    std::vector<std::string> pending = NamesIn(dependsField);
    pending.insert(pending.end(), installed.essential.begin(), installed.essential.end());
    std::set<std::string> covered;
    while (!pending.empty()) {
        const std::string name = pending.back();
        pending.pop_back();
        if (!covered.insert(name).second)
            continue;
        if (const auto needs = installed.needs.find(name); needs != installed.needs.end())
            pending.insert(pending.end(), needs->second.begin(), needs->second.end());
        if (const auto providers = installed.providers.find(name);
            providers != installed.providers.end())
            pending.insert(pending.end(), providers->second.begin(), providers->second.end());
    }
    return covered;
}

} // namespace qp::test
