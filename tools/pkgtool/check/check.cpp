#include "tools/pkgtool/check/check.h"
#include "tools/pkgtool/check/checkers.h"
#include "tools/pkgtool/formats/pkgfiles.h"
#include "tools/pkgtool/formats/codepage.h"

#include <algorithm>
#include <filesystem>
#include <set>

namespace pkgcheck {
namespace {

// Finds a script by its Windows name and loads it; false when it is absent.
bool OpenScript(const std::string& dir, const char* name, std::vector<Finding>& out, IniFile& ini,
                std::string& path) {
    bool ambiguous = false;
    path = FindNoCase(dir, name, &ambiguous);
    if (path.empty()) return false;
    if (ambiguous)
        out.push_back({path, 0, "warning", "ambiguous-file",
                       std::string("several files are named ") + name +
                           " in letter cases that Windows does not tell apart; this one was checked: keep one " +
                           name + " in the folder",
                       "", "keep one " + std::string(name) + " in the folder"});
    if (!ini.Load(path)) {
        out.push_back({path, 0, "error", "unreadable-file", "the file cannot be read: give it read permission", "",
                       "give it read permission"});
        return false;
    }
    return true;
}

void SortFindings(std::vector<Finding>& findings) {
    std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
        return a.file != b.file ? a.file < b.file : a.line < b.line;
    });
}

void CheckSetupScript(const IniFile& ini, Sink& sink, const std::string& dir, CheckResult& result) {
    CheckLayout(ini, sink);
    SetupReferences refs;
    CheckCommandLists(ini, sink, refs);
    CheckMessages(ini, sink, refs);
    CheckSubDirs(ini, sink, dir);
    for (const NamedSection& s : refs.detectCard) CheckDetectCardSection(ini, sink, s);
    for (const NamedSection& s : refs.exec) CheckExecSection(ini, sink, s, dir);
    CheckUnusedSections(ini, sink, refs);
    CheckDriverInfs(ini, sink, refs, dir, result.findings, result.cards);
    CheckDriverInstalls(ini, sink, refs, dir, result.findings, result.diskLabels);
}

// The folders below a CD's root (the root included) that hold a SETUP.INI,
// in name order; a tree deeper than Windows reaches is not followed.
std::vector<std::string> PackageFolders(const std::string& root) {
    std::vector<std::string> folders;
    if (!FindNoCase(root, "SETUP.INI").empty()) folders.push_back(root);
    std::error_code ec;
    size_t seen = 0;
    for (std::filesystem::recursive_directory_iterator it(root, ec), end; !ec && it != end && seen < 100000;
         it.increment(ec), ++seen) {
        if (it.depth() >= 8) it.disable_recursion_pending();
        std::error_code dec;
        if (it->is_directory(dec) && !FindNoCase(it->path().string(), "SETUP.INI").empty())
            folders.push_back(it->path().string());
    }
    std::sort(folders.begin() + (folders.empty() || folders[0] != root ? 0 : 1), folders.end());
    return folders;
}

// One package: its scripts and driver.
void CheckOnePackage(const std::string& dir, const CheckOptions& options, CheckResult& result) {
    std::vector<Finding>& findings = result.findings;
    const size_t before = findings.size();
    IniFile setup, sequor;
    std::string setupPath, sequorPath;
    bool hasSetup = OpenScript(dir, "SETUP.INI", findings, setup, setupPath);
    bool hasSequor = OpenScript(dir, "sequor95.ini", findings, sequor, sequorPath);
    if (hasSetup) {
        Sink sink(findings, setupPath, options);
        CheckTextMark(setup, sink, "SETUP.INI", "setup shows an empty NotSupport box and does nothing else");
        CheckSetupScript(setup, sink, dir, result);
    }
    if (hasSequor) {
        Sink sink(findings, sequorPath, options);
        CheckTextMark(sequor, sink, "sequor95.ini", "Sequor runs nothing");
        CheckLayout(sequor, sink);
        CheckProcessList(sequor, sink, dir);
    }
    if (!hasSetup && !hasSequor && findings.size() == before)
        findings.push_back({dir, 0, "warning", "no-scripts",
                            "the directory holds neither SETUP.INI nor sequor95.ini: there is nothing to check; "
                            "give the folder of the package, which holds SETUP.INI",
                            "", "give the folder of the package, which holds SETUP.INI"});
}

} // namespace
} // namespace pkgcheck

std::vector<Finding> CheckPackage(const std::string& dir) { return CheckPackage(dir, CheckOptions()).findings; }

CheckResult CheckPackage(const std::string& root, const CheckOptions& options) {
    using namespace pkgcheck;
    CheckResult result;
    // The package's bytes are read as the target's Windows steps over them.
    UseCodePage page(options.codePage);
    std::vector<Finding>& findings = result.findings;
    std::error_code ec;
    if (!std::filesystem::is_directory(root, ec)) {
        findings.push_back({root, 0, "error", "no-package", "there is no directory " + root});
        return result;
    }
    // What a disc of the folder would leave out, read as pkgtool cd reads
    // it, so that check never passes what cd turns away.
    if (options.treeFindings) ReadPackageTree(root, findings);
    // A CD's root: the package AutoRun starts, and every other folder with
    // a SETUP.INI, which a user may start by hand.
    const bool cdRoot = options.followAutoRun && !FindNoCase(root, "AUTORUN.INF").empty();
    std::vector<std::string> packages;
    if (cdRoot || options.everyPackage) {
        const std::string started = cdRoot ? CheckCdRoot(root, findings, options) : "";
        packages = PackageFolders(root);
        if (!started.empty() && std::find(packages.begin(), packages.end(), started) == packages.end())
            packages.insert(packages.begin(), started);
        if (packages.empty() && !cdRoot) packages.push_back(root);
    } else {
        packages.push_back(root);
    }
    const bool several = packages.size() > 1 || (packages.size() == 1 && packages[0] != root);
    for (const std::string& dir : packages) {
        const size_t from = findings.size();
        CheckOnePackage(dir, options, result);
        if (several)
            for (size_t i = from; i < findings.size(); ++i) {
                std::error_code rec;
                const std::string rel = std::filesystem::relative(dir, root, rec).generic_string();
                findings[i].package = rec || rel.empty() ? dir : rel;
            }
    }
    // A script that cannot be read is one mistake, said by the script's check.
    std::set<std::string> unreadable;
    for (const Finding& f : findings)
        if (f.code == "unreadable-file") unreadable.insert(f.file);
    findings.erase(std::remove_if(findings.begin(), findings.end(),
                                  [&](const Finding& f) { return f.code == "disc-unreadable" && unreadable.count(f.file); }),
                   findings.end());
    SortFindings(findings);
    return result;
}
