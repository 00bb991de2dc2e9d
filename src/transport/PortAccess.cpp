// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/PortAccess.h"

namespace kavri {

PortStatus HeldByStatus(const LockHolder& holder) {
    if (holder.pid <= 0) return HeldByStatus("another program (its lock file names the port)");
    const std::string who = holder.program.empty() ? "another program" : holder.program;
    return HeldByStatus(who + " (process " + std::to_string(holder.pid) + ")");
}

PortStatus HeldByStatus(const std::string& who) {
    return PortStatus{PortProblem::kInUse, "in use by " + who};
}

}  // namespace kavri
