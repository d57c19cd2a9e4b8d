// The command lists of [Application], walked entry by entry as the launcher
// walks them, with what each command needs from the rest of the script.
#include "framework/text.h"
#include "setup/commands.h"
#include "tools/pkgtool/check/checkers.h"
#include "tools/pkgtool/check/oskeys.h"
#include "tools/pkgtool/check/suggest.h"
#include "tools/pkgtool/check/valuetext.h"

namespace pkgcheck {
namespace {

void NameSection(std::vector<NamedSection>& list, const std::string& entry, int line) {
    for (const NamedSection& s : list)
        if (FoldedName(s.name) == FoldedName(entry)) return;
    list.push_back({TrimBlanks(entry), line});
}

std::string WhyNoCommand(const std::string& entry) {
    std::string trimmed = TrimBlanks(entry);
    const std::string skipped = ", so it matches no command and the launcher skips it without a word";
    if (StartsWithBlank(entry) && MatchCommand(trimmed.c_str()) != kCmdNone)
        return "entry " + Quoted(entry) + " begins with a blank; entries are not trimmed" + skipped;
    if (EndsWithBlank(entry) && MatchCommand(trimmed.c_str()) == kCmdEnd)
        return "entry " + Quoted(entry) + " ends with a blank; End must be the whole entry" + skipped;
    if (StartsWithNoCase(entry.c_str(), "End"))
        return "entry " + Quoted(entry) + " is not End: End must be the whole entry" + skipped;
    return "entry " + Quoted(entry) +
           " begins with none of DetectCard, CheckPCIKey, ShowMsg, ShowUSBMsg, Install, Exec and is not End" + skipped;
}

// The keywords by the words they are made of.
struct Keyword {
    ScriptCommand command;
    const char* name;
    std::vector<std::string> words;
};
const Keyword kKeywords[] = {
    {kCmdDetectCard, "DetectCard", {"detect", "card"}}, {kCmdCheckPciKey, "CheckPCIKey", {"check", "pci", "key"}},
    {kCmdShowMsg, "ShowMsg", {"show", "msg"}},          {kCmdShowUsbMsg, "ShowUSBMsg", {"show", "usb", "msg"}},
    {kCmdInstall, "Install", {"install"}},              {kCmdExec, "Exec", {"exec"}},
};

// An entry that holds every word of another keyword of its family (ShowMsgUSB
// holds those of ShowUSBMsg) but runs as the keyword it begins with.
const Keyword* OtherCommandMeant(const std::string& entry, ScriptCommand command) {
    const Keyword* matched = nullptr;
    for (const Keyword& k : kKeywords) matched = k.command == command ? &k : matched;
    if (!matched) return nullptr;
    const std::string folded = FoldedName(entry);
    for (const Keyword& other : kKeywords) {
        if (&other == matched || other.words[0] != matched->words[0]) continue;
        bool all = true, beyond = false;
        for (const std::string& w : other.words) {
            all = all && folded.find(w) != std::string::npos;
            bool inMatched = false;
            for (const std::string& m : matched->words) inMatched = inMatched || m == w;
            beyond = beyond || !inMatched;
        }
        if (all && beyond) return &other;
    }
    return nullptr;
}

struct ListWalk {
    const IniFile& ini;
    Sink& sink;
    SetupReferences& refs;
    OsKind kind;
    std::string key;
    int line;
};

void UseMessage(ListWalk& w, const std::string& key, bool shownOnReach, const std::string& when) {
    w.refs.messages.push_back({TrimBlanks(key), w.line, shownOnReach, when});
}

void WalkList(ListWalk& w, const std::string& list) {
    const bool nt = IsNtKind(w.kind);
    const InstallRoute route = RouteOf(w.kind);
    std::string stopper;
    w.refs.lists.push_back({w.kind, w.key, {}});
    bool detected = false, installed = false, messageAfterInstall = false;
    bool ntDetectReported = false, ntCheckReported = false;
    for (const std::string& entry : SplitFields(list)) {
        if (!stopper.empty()) {
            const std::string fix = "move " + Quoted(entry) + " before " + Quoted(stopper) + " in the " + w.key +
                                    " list, or remove it";
            w.sink.Error(w.line, "unreachable-entry",
                         "on " + w.key + ", entry " + Quoted(entry) + " comes after " + Quoted(stopper) +
                             ", which ends the list: it never runs; " + fix,
                         fix);
            break;
        }
        const ScriptCommand command = MatchCommand(entry.c_str());
        if (const Keyword* meant = OtherCommandMeant(entry, command)) {
            const std::string fix = "to run " + std::string(meant->name) + ", begin the entry with " + meant->name +
                                    " (e.g. " + meant->name + ") and name its [Message] key the same";
            w.sink.Warning(w.line, "prefix-command",
                           Quoted(entry) + " runs as " + std::string(kKeywords[command - kCmdDetectCard].name) +
                               ", not as " + meant->name +
                               ": a command is the keyword its entry begins with, and the rest only names it; " + fix,
                           fix);
        }
        switch (command) {
        case kCmdNone: {
            const std::string trimmed = TrimBlanks(entry);
            std::string fix;
            if (MatchCommand(trimmed.c_str()) != kCmdNone)
                fix = "write " + Quoted(trimmed);
            else if (StartsWithNoCase(entry.c_str(), "End"))
                fix = "write End";
            else if (const std::string near = NearestName(trimmed, {"DetectCard", "CheckPCIKey", "ShowMsg",
                                                                     "ShowUSBMsg", "Install", "Exec", "End"});
                     !near.empty())
                fix = "write " + near;
            else
                fix = "begin the entry with one of those commands, or remove it from the " + w.key + " list";
            w.sink.Error(w.line, "unknown-command", WhyNoCommand(entry) + ": " + fix, fix);
            break;
        }
        case kCmdDetectCard:
            if (nt && !ntDetectReported) {
                ntDetectReported = true;
                const std::string fix = "remove " + Quoted(entry) + " from the " + w.key + " list";
                w.sink.Error(w.line, "nt-card-check",
                             "the launcher cannot probe the PCI bus on Windows NT, so " + Quoted(entry) +
                                 " always fails on " + w.key + ": it shows its message and stops the list; " + fix,
                             fix);
            }
            detected = true;
            w.refs.lists.back().detectCard.push_back(TrimBlanks(entry));
            NameSection(w.refs.detectCard, entry, w.line);
            UseMessage(w, entry, false, "when no listed card is found");
            break;
        case kCmdCheckPciKey:
            if (!detected) {
                const std::string fix = "put the DetectCard entry before " + Quoted(entry) + " in the " + w.key + " list";
                w.sink.Error(w.line, "checkpcikey-before-detectcard",
                             "on " + w.key + ", " + Quoted(entry) +
                                 " comes before any DetectCard: it then looks for empty texts, which every "
                                 "registry entry contains, so it checks nothing; " + fix,
                             fix);
            }
            if (nt && !ntCheckReported) {
                ntCheckReported = true;
                const std::string fix = "remove " + Quoted(entry) + " from the " + w.key + " list";
                w.sink.Error(w.line, "nt-card-check",
                             "Windows NT keeps no Enum\\PCI key, so " + Quoted(entry) + " always fails on " + w.key +
                                 ": it shows the CheckPCIKey message and stops the list; " + fix,
                             fix);
            }
            UseMessage(w, "CheckPCIKey", false, "when the registry does not know the card");
            break;
        case kCmdShowMsg:
            UseMessage(w, entry, true, "whenever the " + w.key + " list reaches " + Quoted(entry));
            messageAfterInstall = messageAfterInstall || installed;
            stopper = entry;
            break;
        case kCmdShowUsbMsg:
            UseMessage(w, entry, false, "when the USB supplement is missing");
            messageAfterInstall = messageAfterInstall || installed;
            break;
        case kCmdInstall:
            if (route == InstallRoute::kNone) {
                const std::string fix = "replace " + Quoted(entry) + " in the " + w.key +
                                        " list with a ShowMsg entry whose [Message] text says what to do instead";
                w.sink.Error(w.line, "install-no-route",
                             "Windows versions with the key " + w.key +
                                 " have no installation route: Install shows the NotSupport message and the "
                                 "launcher quits after the list; " + fix,
                             fix);
                UseMessage(w, "NotSupport", false, "when Install runs on " + w.key);
            }
            if (route == InstallRoute::kHelper && !detected) {
                const std::string fix = "put a DetectCard entry before " + Quoted(entry) + " in the " + w.key + " list";
                w.sink.Error(w.line, "install-without-detectcard",
                             "on " + w.key +
                                 ", Install comes before any DetectCard: the install helper then gets no card "
                                 "identity (empty device key and location); " + fix,
                             fix);
            }
            // setup/install.cpp, InstallNotRun: read only where the script has it.
            if (route != InstallRoute::kNone) {
                UseMessage(w, "HelperNotRun", false, "when the installer cannot be started");
                w.refs.messages.back().optional = true;
            }
            installed = true;
            w.refs.lists.back().installs = w.refs.lists.back().installs || route != InstallRoute::kNone;
            messageAfterInstall = false;
            break;
        case kCmdExec:
            NameSection(w.refs.exec, entry, w.line);
            break;
        case kCmdEnd:
            stopper = entry;
            break;
        }
    }
    if (route == InstallRoute::kApplet && installed && !messageAfterInstall) {
        const std::string fix = "put a ShowMsg entry after Install in the " + w.key + " list (e.g. " + w.key +
                                "=Install,ShowMsgNT with [Message] ShowMsgNT=...)";
        w.sink.Error(w.line, "nt40-no-message",
                     "on Windows NT 4.0 the Display applet is driven only while a message box shown after Install "
                     "is open; nothing after Install in this list shows one, so the applet is left half-way: " + fix,
                     fix);
    }
}

} // namespace

std::vector<std::string> SectionNames(const IniFile& ini) {
    std::vector<std::string> names;
    for (const IniSection& s : ini.Sections())
        if (s.line > 0) names.push_back(s.name);
    return names;
}

std::vector<std::string> KeyNames(const IniFile& ini, const std::string& section) {
    std::vector<std::string> names;
    if (const IniSection* s = ini.FindSection(section))
        for (const IniKey& k : s->keys) names.push_back(k.name);
    return names;
}

void CheckCommandLists(const IniFile& ini, Sink& sink, SetupReferences& refs) {
    std::string withoutList;
    std::vector<std::string> osKeys;
    for (OsKind kind : kKindsWithKeys) osKeys.push_back(OsKeyOf(kind));
    for (OsKind kind : kKindsWithKeys) {
        std::string key = OsKeyOf(kind);
        std::string list = ReadChecked(ini, sink, "Application", key, 256, true);
        if (list.empty()) {
            withoutList += withoutList.empty() ? key : ", " + key;
            // A driver folder for a version that has no list: a slip in the
            // list's key, most likely, and those users see only NotSupport.
            const int subDir = ReadsSubDir(kind) ? ini.KeyLine("SubDir", key) : 0;
            if (subDir > 0) {
                std::string slip, fix = "add a " + key + "= command list to [Application], or remove " + key +
                                        " from [SubDir]";
                for (const std::string& k : KeyNames(ini, "Application"))
                    if (KindOfKey(k) == kOsOther && NearestName(k, osKeys) == key) {
                        slip = "; " + Quoted(k) + " in [Application] (line " +
                               std::to_string(ini.KeyLine("Application", k)) + ") is no OS key";
                        fix = "rename the key " + Quoted(k) + " in [Application] (line " +
                              std::to_string(ini.KeyLine("Application", k)) + ") to " + key;
                    }
                const std::string notSupport = ini.Read("Message", "NotSupport", 512);
                sink.Error(subDir, "subdir-without-list",
                           "[SubDir] names a driver folder for " + key + ", but [Application] has no " + key +
                               " list: users of " + WindowsOfKind(kind) + " see only the NotSupport box (" +
                               (notSupport.empty() ? std::string("empty") : Quoted(notSupport)) +
                               ") and the driver is not installed" + slip + ": " + fix,
                           fix);
            }
            continue;
        }
        ListWalk walk{ini, sink, refs, kind, key, ini.KeyLine("Application", key)};
        WalkList(walk, list);
    }
    // Without [Application] setup reads no command list on any Windows: the
    // package does nothing but show NotSupport.
    if (!ini.FindSection("Application")) {
        const bool empty = SectionNames(ini).empty();
        const std::string fix = "add [Application] with a command list for each OS key the package serves, e.g. "
                                "W98=DetectCard,Install,End";
        sink.Error(0, "no-application",
                   std::string(empty ? "the file holds no section at all" : "the file has no [Application] section") +
                       ", so setup finds no command list on any Windows version and shows only the NotSupport box"
                       " (or an empty one): " + fix,
                   fix);
    }
    if (!withoutList.empty()) {
        const IniSection* app = ini.FindSection("Application");
        refs.messages.push_back({"NotSupport", app ? app->line : 0, false,
                                 "on Windows versions without a command list (" + withoutList + ")"});
    }
    if (const IniSection* app = ini.FindSection("Application"))
        for (const IniKey& k : app->keys)
            if (KindOfKey(k.name) == kOsOther && ini.KeyLine("Application", k.name) == k.line) {
                const std::string near = NearestName(k.name, osKeys);
                const std::string fix = near.empty() ? "rename " + Quoted(k.name) + " to the OS key of the Windows "
                                                       "version it is for, or remove it"
                                                     : "rename " + Quoted(k.name) + " to " + near;
                sink.Warning(k.line, "unknown-os-key",
                             "no Windows version reads the key " + Quoted(k.name) +
                                 "; the OS keys are WIN95, W95A, W95B, W95C, W98, WINNT, NT31, NT35X and NT40: " + fix,
                             fix);
            }
}

void CheckMessages(const IniFile& ini, Sink& sink, const SetupReferences& refs) {
    std::vector<std::string> reported;
    for (const MessageUse& use : refs.messages) {
        bool done = false;
        for (const std::string& r : reported) done = done || FoldedName(r) == FoldedName(use.key);
        if (done) continue;
        reported.push_back(use.key);
        if (!ini.Read("Message", use.key, 512).empty()) continue;
        bool optional = true;
        for (const MessageUse& other : refs.messages)
            if (FoldedName(other.key) == FoldedName(use.key)) optional = optional && other.optional;
        if (optional) continue;
        // The most certain use decides the severity, the earliest line among those the place.
        const MessageUse* worst = &use;
        for (const MessageUse& other : refs.messages) {
            if (FoldedName(other.key) != FoldedName(use.key)) continue;
            if (other.shownOnReach > worst->shownOnReach ||
                (other.shownOnReach == worst->shownOnReach && other.line < worst->line))
                worst = &other;
        }
        const std::string near = NearestName(use.key, KeyNames(ini, "Message"));
        const std::string fix = near.empty() ? "add " + use.key + "=(the text to show) to [Message]"
                                             : "rename the [Message] key " + Quoted(near) + " (line " +
                                                   std::to_string(ini.KeyLine("Message", near)) + ") to " + use.key;
        sink.Add(worst->line, worst->shownOnReach ? "error" : "warning", "missing-message",
                 "[Message] has no text under " + Quoted(use.key) + " (missing or empty), so " + worst->when +
                     " the launcher shows an empty box: " + fix,
                 fix);
    }
    const IniSection* section = ini.FindSection("Message");
    if (!section) return;
    for (const IniKey& k : section->keys) {
        if (ini.KeyLine("Message", k.name) != k.line) continue;
        const std::string text = ReadChecked(ini, sink, "Message", k.name, 512, false);
        CheckAnsiText(text, k.line, sink, "message");
        CheckEscapesInPaths(text, k.line, sink);
        bool used = false;
        for (const MessageUse& use : refs.messages) used = used || FoldedName(use.key) == FoldedName(k.name);
        if (!used) {
            std::vector<std::string> shown;
            for (const MessageUse& use : refs.messages)
                if (ini.Read("Message", use.key, 512).empty()) shown.push_back(use.key);
            const std::string near = NearestName(k.name, shown);
            const std::string fix = near.empty() ? "remove " + k.name + "= from [Message], or name it in a list entry"
                                                 : "rename the key " + Quoted(k.name) + " to " + near;
            sink.Warning(k.line, "unused-message",
                         "no command shows the message " + Quoted(k.name) +
                             "; a command shows the message named by its whole entry text: " + fix,
                         fix);
        }
    }
}

void CheckUnusedSections(const IniFile& ini, Sink& sink, const SetupReferences& refs) {
    const std::vector<IniSection>& sections = ini.Sections();
    for (size_t i = 1; i < sections.size(); ++i) {
        const IniSection& s = sections[i];
        if (ini.FindSection(s.name) != &s) continue;
        std::string name = FoldedName(s.name);
        bool used = name == "application" || name == "subdir" || name == "message";
        for (const NamedSection& n : refs.detectCard) used = used || FoldedName(n.name) == name;
        for (const NamedSection& n : refs.exec) used = used || FoldedName(n.name) == name;
        if (!used) {
            std::vector<std::string> named;
            for (const NamedSection& n : refs.detectCard)
                if (!ini.FindSection(n.name)) named.push_back(n.name);
            for (const NamedSection& n : refs.exec)
                if (!ini.FindSection(n.name)) named.push_back(n.name);
            const std::string near = NearestName(s.name, named);
            const std::string fix = near.empty() ? "remove [" + s.name + "], or name it by a whole list entry"
                                                 : "rename [" + s.name + "] to [" + near + "]";
            sink.Warning(s.line, "unused-section",
                         "no command list names [" + s.name +
                             "]; DetectCard and Exec entries name their section by their whole text: " + fix,
                         fix);
        }
    }
}

} // namespace pkgcheck
