#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// User texts come from the language tables with printf-style placeholders. They
// are filled by substitution rather than by handing a run-time format string to
// printf, so a table entry with a wrong or extra placeholder can never make the
// program read arguments that were not passed.

namespace quillon::lensdb {

// Replaces each placeholder of `pattern` ("%s", "%d", "%.3f", ...: a '%', any
// flags, width or precision, and one conversion letter) by the next of `args`,
// already written as text; "%%" is a '%'. Placeholders beyond the arguments
// become empty.
std::string FillPlaceholders(std::string_view pattern,
                             std::initializer_list<std::string_view> args);

}  // namespace quillon::lensdb
