#pragma once

#include <string>
#include <string_view>

// The program is two executables. `quillon`, the one users, the desktop entry
// and scripts start, links no GUI toolkit, so a start without a display (a
// script, a remote shell, a server) never maps the toolkit's libraries. With a
// display it becomes the window program, `quillon-window`, which links the
// toolkit and, started directly, behaves exactly as `quillon` does.
//
// Where the window program lies is one rule, fixed when the program is built:
// the path from the installation's bin folder to <libexecdir>/quillon/ (for
// the usual folders ../libexec/quillon/quillon-window), taken from the folder
// of the running `quillon`. The build tree is laid out the same way
// (build/<preset>/app/quillon, build/<preset>/libexec/quillon/quillon-window),
// so what runs there is what is installed. Nothing is searched: no stray file
// elsewhere can take the window program's place.

namespace quillon::app {

// The window program that belongs to the `quillon` executable at
// `launcherPath`; empty when that path is not absolute (a relative one would
// resolve against whatever folder the program was started in).
std::string WindowProgramPathFor(std::string_view launcherPath);

// Replaces this process with the window program of this executable, handing it
// `argv` unchanged (argv[0] too: the toolkit names the program's windows after
// it). Returns only when that failed, with the message that says why.
std::string StartWindowProgram(char** argv);

}  // namespace quillon::app
