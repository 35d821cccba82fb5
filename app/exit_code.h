#pragma once

#include "base/status.h"

// How a run of the program ends for whoever started it: a script that ran a
// quiet correction, a desktop. The plug-in answers its host in result codes
// of its own instead.

namespace quillon::app {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;

// The program's exit code for a step that ended with `status`: 0 for
// success, 1 for every failure whatever its kind. The message was shown where
// the failure was found; a caller only needs to know that the run did not do
// what it was asked, never as success.
inline int ExitCodeOf(Status status) { return status.ok() ? kExitOk : kExitFailure; }

}  // namespace quillon::app
