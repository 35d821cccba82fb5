#pragma once

#include <optional>
#include <string>
#include <string_view>

// Path helpers. Paths are plain UTF-8 strings with '/' separators; where the
// program's rules speak of a backslash, Linux uses '/'.

namespace quillon::platform {

inline constexpr char kPathSeparator = '/';

// `dir` + "/" + `name`, with exactly one separator between them; an empty `dir`
// gives `name` unchanged.
std::string JoinPath(std::string_view dir, std::string_view name);

// Every '\' becomes '/', so paths written on Windows still work.
std::string NormaliseSeparators(std::string_view path);

// The part after the last separator (the whole path when there is none).
std::string_view FileNameOf(std::string_view path);

// The part before the last separator; empty when there is none, "/" for a
// file in the root.
std::string_view DirectoryOf(std::string_view path);

// The text after the last '.' of the file name, without the dot; empty when the
// name has no '.'.
std::string_view SuffixOf(std::string_view path);

// ASCII case-insensitive equality, independent of the locale.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

bool FileExists(std::string_view path);
bool CanReadFile(std::string_view path);

// The absolute path of this process's executable, symbolic links resolved;
// empty when the system does not say.
std::string ExecutablePath();

// The user's home folder: $HOME when it is usable, else the home folder of the
// user's entry in the password database when that is; nothing otherwise.
// Usable means an absolute path naming an existing folder that not every user
// may write: a relative path would depend on where the program was started,
// and a shared folder such as /tmp lets any local user plant files the program
// would then trust.
std::optional<std::string> UserHomeDir();

// $XDG_CONFIG_HOME when it is an absolute path whose nearest existing folder
// is not shared (it may not exist yet), else <home>/.config; nothing without
// either.
std::optional<std::string> UserConfigDir();

// The user's desktop folder: XDG_DESKTOP_DIR from user-dirs.dirs when set,
// else <home>/Desktop; empty without a home folder.
std::string UserDesktopDir();

}  // namespace quillon::platform
