#include "ProcessHardening.h"

#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>

namespace quillmar {

bool HardenProcess() {
    const rlimit noCore{0, 0};
    const bool coreOff = ::setrlimit(RLIMIT_CORE, &noCore) == 0;
    const bool undumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    // A file size limit (ulimit -f) then fails the write with EFBIG, which is
    // reported and leaves the target as it was, instead of killing us
    // without a word.
    ::signal(SIGXFSZ, SIG_IGN);
    return coreOff && undumpable;
}

} // namespace quillmar
