// The JPEG marker walk: which APP segments are kept and how ICC chunks are
// joined. An input starting with SOI goes through the whole reader (libjpeg's
// marker parser, then the selection); any other input is read as a list of
// segments (one byte marker, two bytes length, payload) and handed to the
// selection directly, which reaches the chunk-join corner cases much faster.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz/image_fuzz_support.h"
#include "imageio/exif_orientation.h"
#include "imageio/image_file.h"
#include "imageio/jpeg_file.h"
#include "imageio/jpeg_markers.h"

namespace {

using quillon::imageio::SavedMarker;

// Splitting a joined profile into chunks and joining them again must give it back.
void CheckSplitJoin(const std::vector<std::uint8_t>& profile) {
    using namespace quillon;
    using namespace quillon::imageio;
    const std::size_t count = IccChunkCount(profile.size());
    if (count == 0) return;
    std::vector<std::vector<std::uint8_t>> payloads;
    std::vector<SavedMarker> chunks;
    for (std::size_t i = 0; i < count; ++i) {
        std::vector<std::uint8_t> p(kIccIdentifier, kIccIdentifier + kIccIdentifierBytes);
        p.push_back(static_cast<std::uint8_t>(i + 1));
        p.push_back(static_cast<std::uint8_t>(count));
        const std::size_t begin = i * kIccChunkBytes;
        const std::size_t end = std::min(profile.size(), begin + kIccChunkBytes);
        p.insert(p.end(), profile.begin() + static_cast<std::ptrdiff_t>(begin),
                 profile.begin() + static_cast<std::ptrdiff_t>(end));
        payloads.push_back(std::move(p));
    }
    for (auto it = payloads.rbegin(); it != payloads.rend(); ++it) {
        chunks.push_back(SavedMarker{kJpegApp2, *it});
    }
    const auto joined = JoinIccProfile(chunks);
    if (!joined || *joined != profile) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillon;
    using namespace quillon::imageio;
    quillon::fuzz::DiscardingSink sink;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) {
        if (quillon::fuzz::JpegDeclaresHugeImage(data, size)) return 0;
        std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
        if (file == nullptr) return 0;
        CurrentImage image;
        if (ReadJpegStream(file, image, sink).ok()) {
            if (image.input.pixels == nullptr || image.input.bitsPerPixel != 24) std::abort();
            CheckSplitJoin(image.metadata.icc);
            SetExifOrientationUpright(image.metadata.exif);
        }
        std::fclose(file);
        return 0;
    }
    std::vector<SavedMarker> markers;
    std::size_t at = 0;
    while (at + 3 <= size) {
        const int marker = 0xE0 | (data[at] & 0x0F);
        std::size_t length = std::size_t{data[at + 1]} << 8 | data[at + 2];
        at += 3;
        if (length > size - at) length = size - at;
        markers.push_back(SavedMarker{marker, {data + at, length}});
        at += length;
    }
    ImageMetadata metadata;
    if (!PickJpegBlocks(markers, metadata)) return 0;
    CheckSplitJoin(metadata.icc);
    SetExifOrientationUpright(metadata.exif);
    return 0;
}
