// Must compile: a layer reaches every layer below it. Keeps the failing probes honest (they
// fail for the layering, not for a broken probe set-up).
#include "base/text.h"
#include "mapi/records.h"
#include "msg/messaging_session.h"
#include "pst/store.h"
#include "writers/row_records.h"
