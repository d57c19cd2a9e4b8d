#include "setup/setupapp.h"

BOOL CSetupApp::ShowScriptMessage(LPCSTR key, UINT style) {
    char text[512];
    ReadScript("Message", key, text, sizeof text);
    m_util.ExpandEscapes(text);
    // A box that cannot be shown returns 0, which is taken as OK.
    return ShowMessageBox(text, style) != IDCANCEL;
}
