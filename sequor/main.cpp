// The runner's one application object.
#include "framework/program.h"
#include "sequor/sequorapp.h"

// Its own name: the host tests link both programs into one process.
IMPLEMENT_APPLICATION(CSequorApp, theSequorApp, "Sequor");
