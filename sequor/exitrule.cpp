#include "sequor/exitrule.h"
#include "framework/text.h"

SequorPrompt PromptForExitCode(DWORD highest) {
    SequorPrompt prompt = {NULL, 0};
    if (highest == 1) {
        prompt.text = "System need to restart Windows.\n\nDo you want to RESTART Windows now?";
        prompt.shutdown = kRestartWindows;
    } else if (highest == 2) {
        prompt.text = "System need to reboot.\n\nDo you want to REBOOT Windows now?";
        prompt.shutdown = kRebootSystem;
    }
    return prompt;
}

bool IsNullField(const char* field) {
    return EqualNoCase(field, "null");
}
