#include "app/resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must stand outside any namespace.
static void InitCompiledResources() {
  Q_INIT_RESOURCE(brindlemoor);
}

namespace bm::app {

void InitResources() {
  InitCompiledResources();
}

}  // namespace bm::app
