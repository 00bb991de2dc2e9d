// SPDX-License-Identifier: GPL-3.0-or-later
// Exit statuses of kavrictl, which scripts rely on.
#pragma once

namespace kavri::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;        // the controller refused, answered wrongly or not in time
constexpr int kExitUsage = 2;         // bad usage: nothing was sent
constexpr int kExitNoController = 3;  // no controller answered on the port or ports tried

}  // namespace kavri::cli
