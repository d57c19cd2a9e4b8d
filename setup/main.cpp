// The launcher's one application object.
#include "framework/program.h"
#include "setup/setupapp.h"

IMPLEMENT_APPLICATION(CSetupApp, theApp, "setup");
