// Must not compile: the writers sit below the engine, so the engine's headers are out of their
// reach. The layering test builds this and expects the build to fail.
#include "engine/app_state.h"
