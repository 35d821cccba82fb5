#include "imageio/jpeg_markers.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace quillon::imageio {

namespace {

constexpr std::size_t kMaxIccChunks = 255;

// Shorter blocks cannot hold anything beyond their own identifier.
constexpr std::size_t kMinBlockBytes = 16;
constexpr char kExifPrefix[] = "Exif";
constexpr char kIptcPrefix[] = "Photoshop 3.";
// The XMP namespace signature up to and including "xap/"; the version after it
// has never changed, but matching less keeps older writers' packets.
constexpr char kXmpPrefix[] = "http://ns.adobe.com/xap/";
// The rest of a packet too long for one segment; the standard packet names its
// parts by a digest, so they are kept whole and in order.
constexpr char kExtendedXmpPrefix[] = "http://ns.adobe.com/xmp/extension/";

bool StartsWith(std::span<const std::uint8_t> payload, const char* prefix, std::size_t length) {
    return payload.size() >= length && std::memcmp(payload.data(), prefix, length) == 0;
}

bool IsExif(const SavedMarker& m) {
    return m.marker == kJpegApp1 && m.payload.size() >= kMinBlockBytes &&
           StartsWith(m.payload, kExifPrefix, sizeof(kExifPrefix) - 1);
}

bool IsXmp(const SavedMarker& m) {
    return !IsExif(m) && StartsWith(m.payload, kXmpPrefix, sizeof(kXmpPrefix) - 1);
}

bool IsIptc(const SavedMarker& m) {
    return m.marker == kJpegApp13 && m.payload.size() >= kMinBlockBytes &&
           StartsWith(m.payload, kIptcPrefix, sizeof(kIptcPrefix) - 1);
}

bool IsTrailingSegment(const SavedMarker& m) {
    return m.marker == kJpegComment ||
           (m.marker == kJpegApp1 &&
            StartsWith(m.payload, kExtendedXmpPrefix, sizeof(kExtendedXmpPrefix)));
}

bool IsIccChunk(const SavedMarker& m) {
    return m.marker == kJpegApp2 && m.payload.size() >= kIccHeaderBytes &&
           StartsWith(m.payload, kIccIdentifier, kIccIdentifierBytes);
}

bool CopyBlock(const SavedMarker* source, std::vector<std::uint8_t>& into) {
    if (source == nullptr) return true;
    try {
        into.assign(source->payload.begin(), source->payload.end());
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> JoinIccProfile(std::span<const SavedMarker> markers) {
    // Index by sequence number (1..255); the share of each chunk is its payload
    // after the 14-byte header.
    std::array<const SavedMarker*, kMaxIccChunks + 1> bySequence{};
    int total = -1;
    for (const SavedMarker& m : markers) {
        if (!IsIccChunk(m)) continue;
        const int sequence = m.payload[kIccIdentifierBytes];
        const int count = m.payload[kIccIdentifierBytes + 1];
        if (total < 0) total = count;
        if (count != total || sequence < 1 || sequence > total) return std::nullopt;
        if (bySequence[static_cast<std::size_t>(sequence)] != nullptr) return std::nullopt;
        bySequence[static_cast<std::size_t>(sequence)] = &m;
    }
    if (total <= 0) return std::nullopt;
    std::size_t length = 0;
    for (int s = 1; s <= total; ++s) {
        const SavedMarker* chunk = bySequence[static_cast<std::size_t>(s)];
        if (chunk == nullptr) return std::nullopt;
        length += chunk->payload.size() - kIccHeaderBytes;
    }
    if (length == 0) return std::nullopt;
    std::vector<std::uint8_t> profile;
    try {
        profile.reserve(length);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    for (int s = 1; s <= total; ++s) {
        const auto share =
            bySequence[static_cast<std::size_t>(s)]->payload.subspan(kIccHeaderBytes);
        profile.insert(profile.end(), share.begin(), share.end());
    }
    return profile;
}

bool PickJpegBlocks(std::span<const SavedMarker> markers, ImageMetadata& metadata) {
    const auto clear = [&metadata] {
        metadata.exif.clear();
        metadata.xmp.clear();
        metadata.iptc.clear();
        metadata.icc.clear();
        metadata.jpeg.trailingSegments.clear();
    };
    clear();
    const SavedMarker* exif = nullptr;
    const SavedMarker* xmp = nullptr;
    const SavedMarker* iptc = nullptr;
    for (const SavedMarker& m : markers) {
        if (IsExif(m)) exif = &m;
        if (IsXmp(m)) xmp = &m;
        if (iptc == nullptr && IsIptc(m)) iptc = &m;
    }
    if (!CopyBlock(exif, metadata.exif) || !CopyBlock(xmp, metadata.xmp) ||
        !CopyBlock(iptc, metadata.iptc)) {
        clear();
        return false;
    }
    try {
        for (const SavedMarker& m : markers) {
            if (!IsTrailingSegment(m)) continue;
            metadata.jpeg.trailingSegments.push_back(
                JpegSegment{m.marker, {m.payload.begin(), m.payload.end()}});
        }
    } catch (const std::bad_alloc&) {
        clear();
        return false;
    }
    // A broken or unallocatable profile only costs the profile, never the image.
    if (auto profile = JoinIccProfile(markers)) metadata.icc = std::move(*profile);
    return true;
}

std::size_t IccChunkCount(std::size_t profileBytes) {
    const std::size_t count = (profileBytes + kIccChunkBytes - 1) / kIccChunkBytes;
    return count > kMaxIccChunks ? 0 : count;
}

}  // namespace quillon::imageio
