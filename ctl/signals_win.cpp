#include "ctl/ctl_internal.h"

namespace kv306::ctl {

void CatchSystemSignals(StopHandler)
{
    // Windows has no hang-up, quit or pipe signals: Ctrl-C and SIGTERM are all.
}

}  // namespace kv306::ctl
