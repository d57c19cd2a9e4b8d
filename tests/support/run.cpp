#include "tests/support/run.h"
#include "framework/host_program.h"
#include "setup/resource.h"
#include "setup/setupapp.h"

extern CSetupApp theApp;

namespace sim {

void PutFile(Machine& m, const std::string& path, const std::string& text) {
    m.files[path] = text;
}

static int Run(Machine& m, const char* program, const std::string& exe, const std::string& arguments) {
    m.commandLine = exe + (arguments.empty() ? "" : " " + arguments);
    if (m.moduleFileName.empty() || m.moduleFileName.find(exe) == std::string::npos)
        m.moduleFileName = m.currentDirectory + "\\" + exe;
    UseMachine use(m);
    int code;
    try {
        code = HostRunProgram(program);
    } catch (const Hang&) {
        return kHung;
    }
    m.Settle();
    return code;
}

int RunSetup(Machine& m, const std::string& arguments) {
    m.stringResources[57344] = SETUP_TITLE;
    int code = Run(m, "setup", "setup.exe", arguments);
    // A hung run is abandoned where it stood. Its heap would go with its
    // process; here the installer it held is released instead.
    if (code == kHung && theApp.m_pInstaller) {
        delete theApp.m_pInstaller;
        theApp.m_pInstaller = NULL;
    }
    return code;
}

int RunSequor(Machine& m) {
    m.stringResources.erase(57344);
    return Run(m, "Sequor", "Sequor.exe", "");
}

} // namespace sim
