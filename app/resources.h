// The pictures and icons compiled into the program.
#pragma once

namespace bm::app {

// Registers the compiled resources; a static library's registration would otherwise be
// dropped by the linker. Safe to call more than once.
void InitResources();

}  // namespace bm::app
