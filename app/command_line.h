#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

// The program's command line, taken from argv as the system split it: options
// first, then the paths of the files to work on. Every path is used exactly as
// given (blanks, quotes, backslashes and a leading '-' are all part of a file
// name), so the program never works on a file the user did not name.
//
//   - Options come only before the first path. An option argument is '-'
//     followed by the letters q, Q and i in any combination (-q, -Qi, -iq);
//     blank-separated groups may share one argument ("-q -i"), as a launcher
//     that passes its options as one word writes them. q and Q choose the quiet
//     mode (the last one given counts), i the inverted mode.
//   - "--" ends the options; a lone "-" is a path, as are all arguments after
//     the first path.
//   - Any other argument starting with '-' before the first path is an unknown
//     option: reading it as a file name would correct a photo the user never
//     meant, so it is refused.

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
    bool interactiveMode = false;  // no arguments at all: the folder browser
    char quietMode = 0;            // 0, 'q' (with a progress note) or 'Q' (silent)
    bool invertMode = false;       // add the lens's distortion instead of removing it
    FileList fileList;
};

struct ParsedCommandLine {
    StartMode mode;
    // The first argument that looked like an option but is none; empty when
    // the command line is valid.
    std::string unknownOption;
};

// Parses the arguments after the program name.
ParsedCommandLine ParseCommandLine(std::span<const std::string> args);

// The message for an unknown option, with the usage of the program.
std::string UnknownOptionText(std::string_view option);

}  // namespace quillon::app
