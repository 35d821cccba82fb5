#pragma once

#include <string>
#include <string_view>
#include <vector>

// The program's command line: options -q, -Q and -i (alone or combined as -qi,
// -Qi, -iq, -iQ), then the paths of the files to work on. The grammar works on
// one command-line string, so a line typed by a user, a desktop launcher's %F
// list and argv all reach the same rules.

namespace quillon::app {

// The paths of the command line with the index of the file in work. The next
// file is taken by pre-increment, so the index starts at -1.
struct FileList {
    std::vector<std::string> paths;
    int current = -1;

    // Steps to the next path; nullptr at the end of the list.
    const std::string* Next();
    // Steps back, so that the same file is taken again by the next Next().
    void StepBack();
};

struct StartMode {
    bool interactiveMode = false;  // empty command line: the folder browser
    char quietMode = 0;            // 0, 'q' (with a progress note) or 'Q' (silent)
    bool invertMode = false;       // add the lens's distortion instead of removing it
    FileList fileList;
};

// Parses one command line (without the program name).
StartMode ParseCommandLine(std::string_view commandLine);

// Joins argv[1..] into one command line for ParseCommandLine: arguments holding
// a blank are put in double quotes. An empty argument list gives an empty line.
std::string CommandLineFromArgs(int argc, const char* const* argv);

}  // namespace quillon::app
