// The runner's one application object.
#include "framework/program.h"
#include "sequor/sequorapp.h"

IMPLEMENT_APPLICATION(CSequorApp, theApp, "Sequor");
