#pragma once

#include <cstdint>

#include "plugin/host_api.h"

// One call of the entry point: the host's record and the result the plug-in
// hands back. Everything that talks to the host goes through it, so a failure
// deep in a transfer can set the result where it is found.

namespace quillon::plugin {

struct HostCall {
    FilterRecord& record;
    std::int16_t& result;
};

}  // namespace quillon::plugin
