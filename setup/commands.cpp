#include "setup/commands.h"
#include "framework/text.h"

ScriptCommand MatchCommand(const char* entry) {
    static const struct {
        const char* keyword;
        ScriptCommand command;
    } prefixed[] = {
        {"DetectCard", kCmdDetectCard}, {"CheckPCIKey", kCmdCheckPciKey}, {"ShowMsg", kCmdShowMsg},
        {"ShowUSBMsg", kCmdShowUsbMsg}, {"Install", kCmdInstall},         {"Exec", kCmdExec},
    };
    for (unsigned i = 0; i < sizeof prefixed / sizeof prefixed[0]; ++i)
        if (StartsWithNoCase(entry, prefixed[i].keyword)) return prefixed[i].command;
    if (EqualNoCase(entry, "End")) return kCmdEnd;
    return kCmdNone;
}
