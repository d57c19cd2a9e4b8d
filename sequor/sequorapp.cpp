#include "sequor/sequorapp.h"

CSequorApp::CSequorApp() : CWinApp(NULL) {}

CSequorApp::~CSequorApp() {}

// The whole run happens here; FALSE skips the message loop, and the
// framework's ExitInstance makes the exit code 0.
BOOL CSequorApp::InitInstance() {
    return FALSE;
}
