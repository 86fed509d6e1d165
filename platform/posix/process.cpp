#include "platform/platform.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace platform {

void PrepareProcess() {
#ifdef __GLIBC__
  // glibc gives the top of a heap back once more than 128 KiB are free there:
  // with replies of a few dozen KiB coming and going, that is nearly every
  // reply. Bounded by the replies that may wait at once, the memory kept is
  // small.
  static_cast<void>(::mallopt(M_TRIM_THRESHOLD, 32 << 20));
#endif
}

void LowerThreadPriority() {
#ifdef __linux__
  // Linux gives each thread a nice value of its own; 10 is what `nice` gives.
  static_cast<void>(::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10));
#endif
}

} // namespace platform
