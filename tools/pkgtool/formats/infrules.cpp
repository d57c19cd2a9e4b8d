#include "tools/pkgtool/formats/infrules.h"

#include <strings.h>

namespace pkgcheck {
namespace {

bool Is(const std::string& value, const char* signature) { return strcasecmp(value.c_str(), signature) == 0; }

// Windows 95 DDK, "Version Section": an INF whose signature is not $Chicago$
// (in any case) is no INF for the device classes of Windows 95. $Windows 95$
// is the name later guides give the 9x-only signature; no document of the
// time says that 95 or 98 take it.
SignatureVerdict Win9xSignature(const std::string& value, std::string& note) {
    if (Is(value, "$Chicago$")) return SignatureVerdict::kAccepted;
    if (Is(value, "$Windows 95$")) {
        note = "the Windows 95 DDK names only $Chicago$ as the signature Windows 95 accepts; no source of the time "
               "says whether Windows 95 and 98 take $Windows 95$";
        return SignatureVerdict::kUndecided;
    }
    return SignatureVerdict::kRefused;
}

// Windows NT 4.0 DDK, "Version Section": $Windows NT$, $Chicago$ or
// $Windows 95$, in any case; any other signature is no INF for Windows NT.
SignatureVerdict Nt4Signature(const std::string& value, std::string&) {
    return Is(value, "$Windows NT$") || Is(value, "$Chicago$") || Is(value, "$Windows 95$") ? SignatureVerdict::kAccepted
                                                                                           : SignatureVerdict::kRefused;
}

const InfRules kWin9x = {
    InfReader::kWin9x, "Windows 95 and 98", "$Chicago$",
    // Windows XP DDK, "Creating Directories for Driver Distribution Media":
    // Windows 9x/Me ignore INF files saved as Unicode.
    false,
    // "INF Manufacturer Section": TargetOSVersion decorations are Windows XP
    // and later; "How to Use Decorations in INF Files for Printer Drivers":
    // versions before XP take the undecorated models section.
    false,
    // Windows XP DDK, "Creating Directories for Driver Distribution Media":
    // Windows 9x/Me do not handle [Strings.LanguageID] sections.
    false,
    // Windows 2000 DDK, "General Syntax Rules for INF Files": on Windows 98
    // section names should be no longer than 28 characters.
    28,
    // A 64 KB limit on 9x is known only from forum reports: a warning at most.
    64 * 1024,
    Win9xSignature,
};

const InfRules kNt4 = {
    InfReader::kNt4, "Windows NT 4.0", "$Windows NT$, $Chicago$ and $Windows 95$",
    // Windows XP DDK, "Creating Directories for Driver Distribution Media":
    // the INF for Windows NT 4.0 on such a medium is a Unicode file.
    true,
    // As for 9x: decorations of models sections came with Windows XP.
    false,
    // Platform SDK 1998, Setup API, "Strings": [Strings.langid] sections are
    // new for Windows NT 4.0 Service Pack 3 (the simulated NT 4.0 has 6a).
    true,
    // No source of the time gives limits for NT 4.0.
    0, 0,
    Nt4Signature,
};

} // namespace

const InfRules& RulesOf(InfReader reader) { return reader == InfReader::kWin9x ? kWin9x : kNt4; }

} // namespace pkgcheck
