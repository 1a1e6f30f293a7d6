// The process state the root install helper starts from. pkexec hands over its caller's resource
// limits, OOM score, niceness, scheduling, signal mask and controlling terminal; any of them could
// cut an install short half-way (a file size limit kills dpkg mid-unpack, Ctrl-\ kills the copy),
// so the helper sets every one of them to the system's own before it does anything.
#pragma once

#include <optional>
#include <string>

namespace Quorvane::InstallHelper {

// Resource limits as the system's first process has them (the defaults the caller cannot have
// changed), OOM score adjustment 0, niceness 0, normal scheduling on every processor, no blocked
// signals, and the terminal's signals (interrupt, quit, stop, hang-up) and SIGPIPE ignored.
// Where the system does not let even root raise a hard limit (a container without the resource
// capability), a limit of the caller's below the system's stays: then which ones, so that the
// helper refuses rather than let the limit cut an install short.
std::optional<std::string> ResetProcessState();

// Leaves the caller's session and its controlling terminal. When this process leads a process
// group (a shell's foreground job), that is only possible for a child: the child goes on and
// returns here, the parent waits for it and exits with its status.
void LeaveCallerSession();

}  // namespace Quorvane::InstallHelper
