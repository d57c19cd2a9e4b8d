// Commands that are recognised but whose routes are not built yet: each is
// skipped and the walk goes on.
#include "setup/setupapp.h"

