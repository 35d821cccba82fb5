// Fuzzes the reader of the handoff file, which any application may write.

#include <cstddef>
#include <cstdint>
#include <span>

#include "metadata/shot_info.h"
#include "plugin/host_metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quillon::metadata::ShotInfo shot;
    quillon::plugin::ParseHandoffText(std::span<const std::uint8_t>(data, size), shot);
    return 0;
}
