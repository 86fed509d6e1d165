#include "platform/platform.h"

namespace platform {

// The Windows heap needs no settings for the plug-in's way of allocating.
void PrepareProcess() {}

} // namespace platform
