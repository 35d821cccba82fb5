#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The external viewer of the folder browser ("Open in ..."). On this system a
// viewer is either an executable file, started with the photo's path, or a
// desktop entry (a .desktop file, as the desktop's menus use), whose Exec line
// says how its program takes a file.

namespace quillon::app {

struct DesktopEntry {
    std::string name;  // Name of the [Desktop Entry] group (not a translated one)
    std::string exec;  // Exec, with the general escapes (\s, \n, \t, \r, \\) undone
    std::string icon;
    std::string path;  // Path: the folder to start the program in, may be empty
};

// Reads the [Desktop Entry] group of a desktop entry file's text. Nothing
// when it has no such group or no Exec line.
std::optional<DesktopEntry> ParseDesktopEntry(std::string_view text);

// The arguments of an Exec line (quoting undone) with its field codes filled
// for one file: %f %F %u %U become `file`, %c the entry's name, %k
// `entryPath`, %i "--icon" and the icon (or nothing), %% a '%'; the deprecated
// codes are dropped. When the line names no file code, the file is appended.
// Nothing when the line cannot be read (an open quote, no program).
std::optional<std::vector<std::string>> ExecArguments(const DesktopEntry& entry,
                                                      std::string_view entryPath,
                                                      std::string_view file);

bool IsDesktopEntryPath(std::string_view path);

// What the Options dialog's Browse accepts: an executable file, or a desktop
// entry file.
bool IsAcceptableViewer(const std::string& path);

// The name the "Open in %s" entry shows: a desktop entry's Name, else the
// file name without its folder and its extension; empty when no viewer is set
// (the entry then says "external editor").
std::string ViewerName(const std::string& viewerPath);

struct ViewerLaunch {
    std::string program;
    std::vector<std::string> arguments;
    std::string folder;  // the process starts there
};

// How to open `file` with the viewer: an executable gets the path as its one
// argument and starts in its own folder; a desktop entry as its Exec line says,
// in its Path (or the entry's own folder). Nothing when the viewer cannot be
// read.
std::optional<ViewerLaunch> ViewerLaunchFor(const std::string& viewerPath, const std::string& file);

}  // namespace quillon::app
