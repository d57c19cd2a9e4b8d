// The installation routes. Each route is one installer with one operation;
// the application owns the installer that the last Install command made.
#pragma once
#include "framework/win.h"

class CDriverInstaller {
public:
    CDriverInstaller();
    virtual void Install() = 0;
    // Destroying through the interface releases the whole object.
    virtual ~CDriverInstaller();

protected:
    HINSTANCE m_hInstance;
};
