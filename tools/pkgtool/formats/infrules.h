// What the device installers of the target systems take from an INF file,
// where they differ from the INF readers of later Windows. One table per
// reader; the source of each rule is named where it is set.
#pragma once
#include <cstddef>
#include <string>

namespace pkgcheck {

// The readers that differ: the device installer of Windows 95 and 98, and
// the setup functions of Windows NT 4.0 (the other NT keys install nothing).
enum class InfReader { kWin9x, kNt4 };

// How a reader takes the Signature of [Version].
enum class SignatureVerdict { kAccepted, kRefused, kUndecided };

struct InfRules {
    InfReader reader;
    const char* systems;        // "Windows 95 and 98", for messages
    const char* signatures;     // the signatures it accepts, for messages
    bool readsUtf16;            // a file with a UTF-16 byte order mark
    bool readsDecoratedModels;  // models sections named with a TargetOSVersion (Maker.NTx86)
    bool readsLocalizedStrings; // [Strings.LanguageID] sections
    size_t longestSectionName;  // longer names draw a warning; 0 when no limit is known
    size_t largestFile;         // larger files draw a warning; 0 when no limit is known
    // The verdict on a signature, already unquoted and trimmed; `note` gets
    // what no source decides, for the finding.
    SignatureVerdict (*signature)(const std::string& value, std::string& note);
};

const InfRules& RulesOf(InfReader reader);

} // namespace pkgcheck
