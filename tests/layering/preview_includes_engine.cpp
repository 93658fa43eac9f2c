// Must not compile: the preview sits below the engine (see writers_includes_engine.cpp).
#include "engine/main_window.h"
