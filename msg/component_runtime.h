// Bringing up the libraries the messaging components stand on. A component's Create takes a
// starter so that the failure paths of its callers can be exercised without a broken system.
#pragma once

#include <functional>

#include "msg/hresult.h"

namespace bm {

// Returns S_OK when the runtime is ready, a failure code otherwise.
using ComponentStarter = std::function<HResult()>;

// Initialises GMime once per process (the initialisation is not thread-safe, so it is never
// repeated or torn down while workers may parse); REGDB_E_CLASSNOTREG when it is unusable.
HResult StartMimeRuntime();

// GMime plus libgsf's type system, for the messaging session.
HResult StartMessagingRuntime();

}  // namespace bm
