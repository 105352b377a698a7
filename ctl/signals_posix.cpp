#include "ctl/ctl_internal.h"

#include <csignal>

namespace kv306::ctl {

void CatchSystemSignals(StopHandler onStop)
{
    // A dropped ssh session (hang-up) and Ctrl-\ stop as Ctrl-C does: each unit's state is said.
    std::signal(SIGHUP, onStop);
    std::signal(SIGQUIT, onStop);
    // A closed pipe is seen as a failed write, so the units are still told about.
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace kv306::ctl
