#include "setup/installer.h"
#include "framework/app.h"

CDriverInstaller::CDriverInstaller() : m_hInstance(AfxGetApp() ? AfxGetApp()->m_hInstance : NULL) {}

CDriverInstaller::~CDriverInstaller() {}
