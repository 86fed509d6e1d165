#include "platform/platform.h"

#include <windows.h>

namespace platform {

// The Windows heap needs no settings for the plug-in's way of allocating.
void PrepareProcess() {}

void LowerThreadPriority() {
  static_cast<void>(::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL));
}

} // namespace platform
