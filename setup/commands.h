// The command keywords of a command list, matched in this order: the first
// six by a prefix of the keyword's length, "End" as the whole entry, all
// without regard to ASCII case. Entries are never trimmed.
#pragma once

enum ScriptCommand {
    kCmdNone,
    kCmdDetectCard,
    kCmdCheckPciKey,
    kCmdShowMsg,
    kCmdShowUsbMsg,
    kCmdInstall,
    kCmdExec,
    kCmdEnd,
};

ScriptCommand MatchCommand(const char* entry);
