#include "platform/ProcessHardening.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace quillmar {

TProcessHardening HardenProcess() {
  TProcessHardening result;
  result.notDumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0 && ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 0;
  // Both limits: a soft limit of 0 alone could be raised again by the process or its children.
  const struct rlimit none = {0, 0};
  result.noCoreFile = ::setrlimit(RLIMIT_CORE, &none) == 0;
  if (!result.noCoreFile) {
    struct rlimit soft = {0, 0};
    if (::getrlimit(RLIMIT_CORE, &soft) == 0) {
      soft.rlim_cur = 0;
      result.noCoreFile = ::setrlimit(RLIMIT_CORE, &soft) == 0 && soft.rlim_max == 0;
    }
  }
  return result;
}

}  // namespace quillmar
