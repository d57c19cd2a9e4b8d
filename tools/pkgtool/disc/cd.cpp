// pkgtool cd: the checks of the disc's names and programs, the package's
// own check, then the image and its report.
#include "tools/pkgtool/disc/disc.h"
#include "tools/pkgtool/disc/names.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/formats/inifile.h"
#include "tools/pkgtool/formats/pkgfiles.h"
#include "tools/pkgtool/report/json.h"
#include "tools/pkgtool/report/report.h"

#include <nettle/sha2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>

namespace fs = std::filesystem;
using pkgcheck::FindNoCase;

namespace pkgdisc {
namespace {

int Wrong(const std::string& why) {
    fprintf(stderr, "pkgtool: %s (pkgtool --help shows the usage)\n", why.c_str());
    return 2;
}

std::string Sha256(const std::string& file) {
    sha256_ctx ctx;
    sha256_init(&ctx);
    std::ifstream in(file, std::ios::binary);
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0)
        sha256_update(&ctx, size_t(in.gcount()), reinterpret_cast<const uint8_t*>(buf));
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&ctx, sizeof digest, digest);
    std::string hex;
    for (uint8_t b : digest) {
        static const char kHex[] = "0123456789abcdef";
        hex += kHex[b >> 4];
        hex += kHex[b & 15];
    }
    return hex;
}

std::string Windows(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// Columns a UTF-8 text takes on a terminal: two for the East Asian wide and
// full-width characters (Unicode's East Asian Width W and F), one for any
// other, so that the table of names lines up with Japanese names in it.
int DisplayWidth(const std::string& utf8) {
    int width = 0;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = utf8[i];
        const int extra = c < 0x80 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        unsigned cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k) cp = cp << 6 | (utf8[i + k] & 0x3F);
        i += extra + 1;
        const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF && cp != 0x303F) ||
                          (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                          (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                          (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
        width += wide ? 2 : 1;
    }
    return width;
}

// The AUTORUN.INF bytes in hexadecimal, where they are not ASCII.
std::string AutorunBytes(const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    bool ascii = true;
    for (unsigned char c : text) out += hex[c >> 4], out += hex[c & 15], ascii = ascii && c < 0x80;
    return ascii ? "" : ", \"autorunBytes\": \"" + out + "\"";
}

// The ISO 9660 names, for the paths the scripts name, shown as a reader
// without Joliet shows them.
std::string NamesReport(const Named& named, const std::map<std::string, DiscName>& names) {
    std::string out = "Names on the disc, for the paths the scripts and AUTORUN.INF name (Joliet, as Windows 95, 98 "
                      "and NT 4.0 read it; ISO 9660, as a reader without Joliet sees it):\n";
    for (const auto& n : named) {
        auto it = names.find(n.first);
        const std::string joliet = it == names.end() || it->second.joliet.empty() ? "(not on the disc)"
                                                                                  : Windows(it->second.joliet);
        // As such a reader shows it: without the version ";1" of each file.
        std::string iso = it == names.end() || it->second.iso.empty() ? "(not in the ISO 9660 tree)"
                                                                       : Windows(it->second.iso);
        for (size_t v; (v = iso.find(";1")) != std::string::npos;) iso.erase(v, 2);
        out += "  " + joliet + std::string(joliet.size() < 200 ? std::max(1, 31 - DisplayWidth(joliet)) : 1, ' ') +
               iso + "\n";
    }
    return out;
}

// The same for programs: [{"path", "joliet", "iso"}...], null for a tree
// that leaves the path out.
std::string NamesJson(const Named& named, const std::map<std::string, DiscName>& names) {
    std::string out = "[";
    bool first = true;
    for (const auto& n : named) {
        auto it = names.find(n.first);
        std::string iso = it == names.end() ? "" : Windows(it->second.iso);
        for (size_t v; (v = iso.find(";1")) != std::string::npos;) iso.erase(v, 2);
        const std::string joliet = it == names.end() ? "" : Windows(it->second.joliet);
        out += (first ? "" : ", ") + std::string("{\"path\": ") + JsonString(Windows(n.first)) +
               ", \"joliet\": " + (joliet.empty() ? "null" : JsonString(joliet)) +
               ", \"iso\": " + (iso.empty() ? "null" : JsonString(iso)) + "}";
        first = false;
    }
    return out + "]";
}

} // namespace

int CdCommand(const std::vector<std::string>& args) {
    std::string dir, out, label;
    bool autorun = false, labelGiven = false, json = false;
    int codePage = 1252;
    bool codePageGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--codepage" || a.compare(0, 11, "--codepage=") == 0) {
            const std::string value = a.size() > 10 ? a.substr(11) : i + 1 < args.size() ? args[++i] : "";
            char* end = nullptr;
            const long page = strtol(value.c_str(), &end, 10);
            if (value.empty() || *end || page <= 0 || page > 65535 || !pkgcheck::IsKnownCodePage(int(page)))
                return Wrong("--codepage takes the number of a code page this machine can convert, e.g. 1252 or 932");
            codePage = int(page);
            codePageGiven = true;
            continue;
        }
        if ((a == "-o" || a == "--output" || a == "--label") && i + 1 < args.size()) {
            (a == "--label" ? label : out) = args[++i];
            labelGiven = labelGiven || a == "--label";
        } else if (a == "--autorun") {
            autorun = true;
        } else if (a == "--json") {
            json = true;
        } else if (dir.empty() && a.compare(0, 1, "-") != 0) {
            dir = a;
        } else {
            return Wrong(a == "-o" || a == "--label" ? a + " needs a value" : "unexpected argument " + a);
        }
    }
    if (dir.empty()) return Wrong("cd needs the folder of the disc");
    if (out.empty()) return Wrong("cd needs -o FILE.iso, the image to write");
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return Wrong(dir + " is not a directory");
    // An image inside the folder would end up on the next disc made of it.
    const fs::path folder = fs::weakly_canonical(dir, ec), written = fs::weakly_canonical(out, ec);
    for (fs::path p = written.parent_path(); !p.empty() && p != p.root_path(); p = p.parent_path())
        if (p == folder) return Wrong("-o " + out + " lies inside " + dir + ", so the disc would hold its own image");
    ImageOptions options;
    if (const char* epoch = getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
        char* end = nullptr;
        const long long t = strtoll(epoch, &end, 10);
        if (*end || t < 0 || t > 4102444799LL) // the year 2099
            return Wrong("SOURCE_DATE_EPOCH must be seconds since 1970 up to the year 2099");
        options.fixedTime = true;
        options.time = t;
    }

    // Scripts and names of the disc, as its target's Windows reads them.
    pkgcheck::UseCodePage page(codePage);
    std::vector<Finding> findings;
    if (autorun) {
        options.autorunText = MakeAutoRun(dir, findings);
        if (!FindNoCase(dir, "AUTORUN.INF").empty())
            findings.push_back({FindNoCase(dir, "AUTORUN.INF"), 0, "note", "autorun-replaced",
                                "--autorun writes the disc's AUTORUN.INF; this file of the folder is left off"});
    }
    const std::vector<Entry> entries = ReadTree(dir, findings);
    const References refs = ReadReferences(dir, options.autorunText, findings);
    CheckNames(entries, refs.named, findings);
    // The package as check reads it. A missing program that check only
    // warns about is an error on a disc, said once.
    options.label = labelGiven ? label : LabelFromName(fs::absolute(dir).lexically_normal().filename().string());
    if (const std::string why = LabelProblem(options.label); !why.empty())
        findings.push_back({dir, 0, "error", "disc-label",
                            "--label " + label + ": " + why + "; give --label a name of at most 11 capitals, digits and _",
                            "", "give --label a name of at most 11 capitals, digits and _"});
    // Every package on the disc, as check reads it: the one AutoRun starts
    // and any other a user may start by hand. A missing program that check
    // only warns about is an error on a disc, said once.
    CheckOptions check;
    check.codePage = codePage;
    check.codePageGiven = codePageGiven;
    check.followAutoRun = !autorun;
    check.everyPackage = true;
    check.treeFindings = false; // ReadTree above reported them
    std::set<std::pair<std::string, int>> missing;
    for (const Finding& f : findings)
        if (f.code == "disc-program-missing") missing.insert({f.file, f.line});
    if (!autorun || !options.autorunText.empty()) {
        const CheckResult checked = CheckPackage(dir, check);
        for (const Finding& f : checked.findings)
            if (!(f.code == "missing-file" && missing.count({f.file, f.line}))) findings.push_back(f);
        for (const DiskLabelUse& l : checked.diskLabels)
            if (!pkgcheck::SameName(l.label, options.label))
                findings.push_back({l.file, l.line, "warning", "disc-inf-label",
                                    "the INF gives its disk the volume label \"" +
                                        pkgcheck::ShownText(l.label, codePage) + "\", and the disc's "
                                    "label is " + options.label + ": no document of the time says whether Windows 95 "
                                    "and 98 then ask for the disk; give the disc that label (--label " + l.label +
                                        ") or drop the label from [SourceDisksNames]",
                                    "", "give the disc that label (--label " + l.label +
                                        ") or drop the label from [SourceDisksNames]"});
    }
    if (FindNoCase(dir, "AUTORUN.INF").empty() && !autorun)
        findings.push_back({dir, 0, "note", "disc-no-autorun",
                            "the disc has no AUTORUN.INF, so nothing starts when it is inserted; --autorun writes one",
                            "", "give --autorun, or add an AUTORUN.INF with open= naming setup.exe"});
    std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
        return a.file != b.file ? a.file < b.file : a.line < b.line;
    });

    std::string report;
    const bool failed = FindingsExitStatus(findings) != 0;
    ImageResult image;
    if (!failed) image = WriteImage(entries, options, out);
    if (!options.autorunText.empty()) {
        std::string text = options.autorunText;
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        // "written" only where the image is.
        report += failed || !image.error.empty() ? "AUTORUN.INF that --autorun would write (no image is written):\n"
                                                 : "AUTORUN.INF written to the disc:\n";
        for (size_t at = 0, nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
            report += "  " + pkgcheck::ShownText(text.substr(at, nl - at), codePage) + "\n";
    }
    if (!image.names.empty()) report += NamesReport(refs.named, image.names);
    report += FormatFindingsText(findings);
    if (failed)
        report += "No image written: the disc would not work as the findings say.\n";
    else if (!image.error.empty())
        report += "No image written: " + image.error + "\n";
    const std::string sum = failed || !image.error.empty() ? "" : Sha256(out);
    if (!sum.empty())
        report += out + ": " + std::to_string(image.bytes) + " bytes (" + std::to_string(image.bytes / 2048) +
                  " blocks of 2048), volume label " + options.label + ", SHA-256 " + sum + "\n";
    const int status = failed || !image.error.empty() ? 1 : 0;
    if (json) {
        std::string j = "{" + FindingsJsonMembers("cd", findings, status) +
                        ", \"autorun\": " + (options.autorunText.empty() ? "null" : JsonString(pkgcheck::ShownText(options.autorunText, codePage))) +
                        AutorunBytes(options.autorunText) +
                        ", \"names\": " + NamesJson(refs.named, image.names) + ", \"image\": ";
        if (sum.empty())
            j += "null, \"notWritten\": " +
                 JsonString(failed ? "the disc would not work as the findings say" : image.error);
        else
            j += "{\"file\": " + JsonString(out) + ", \"bytes\": " + std::to_string(image.bytes) +
                 ", \"label\": " + JsonString(options.label) + ", \"sha256\": " + JsonString(sum) +
                 "}, \"notWritten\": null";
        report = j + "}\n";
    }
    std::cout << report;
    return status;
}

} // namespace pkgdisc
