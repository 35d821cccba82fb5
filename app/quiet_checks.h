#pragma once

#include <string>

#include "platform/message_sink.h"

// The checks a path passes before the program tries to read it, shared by the
// quiet one-shot correction and the editor's loading of the next file.

namespace quillon::app {

// 0 when `path` names a readable .jpg, .jpeg, .tif or .tiff file (any letter
// case); otherwise shows the reason and answers 1 (the program's exit code).
int CheckImagePath(const std::string& path, platform::MessageSink& sink);

}  // namespace quillon::app
