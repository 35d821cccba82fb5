#pragma once

// Shared by the image harnesses: a sink that drops every message, libtiff's
// process-wide handlers silenced, inputs as files that live in memory only, and
// the guard against images too large for the fuzzer's memory limit.

#include <cstdint>
#include <string>
#include <string_view>

#include <sys/mman.h>
#include <tiffio.h>
#include <unistd.h>

#include "platform/message_sink.h"

namespace quillon::fuzz {

class DiscardingSink final : public platform::MessageSink {
  public:
    using MessageSink::Show;
    void Show(std::string_view, std::string_view) override {}
};

// The readers route libtiff's messages to their sink while they run; outside
// them (the size guard below) the library would print each one of millions.
inline void SilenceTiffHandlers() {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
}

// An input as a file in memory, named by a path the readers can open (libtiff
// and the JPEG reader open files by name).
class MemoryFile {
  public:
    MemoryFile(const std::uint8_t* data, std::size_t size) : fd_(memfd_create("fuzz_input", 0)) {
        std::size_t written = 0;
        while (fd_ >= 0 && written < size) {
            const ssize_t n = write(fd_, data + written, size - written);
            if (n <= 0) break;
            written += static_cast<std::size_t>(n);
        }
        complete_ = fd_ >= 0 && written == size;
    }
    ~MemoryFile() {
        if (fd_ >= 0) close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    bool complete() const { return complete_; }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

  private:
    int fd_;
    bool complete_ = false;
};

// Declared sizes up to the program's limit are legal, but decoding them only
// measures the allocator; the fuzzer keeps to images that fit its memory limit.
inline constexpr std::uint64_t kMaxFuzzPixels = 4'000'000;

inline bool TiffDeclaresHugeImage(const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr) return false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFClose(tif);
    return std::uint64_t{width} * height > kMaxFuzzPixels;
}

// Any start-of-frame marker declaring too many pixels, wherever it lies.
inline bool JpegDeclaresHugeImage(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + 9 <= size; ++i) {
        if (data[i] == 0xFF && data[i + 1] >= 0xC0 && data[i + 1] <= 0xC2) {
            const std::uint32_t height = std::uint32_t{data[i + 5]} << 8 | data[i + 6];
            const std::uint32_t width = std::uint32_t{data[i + 7]} << 8 | data[i + 8];
            if (std::uint64_t{width} * height > kMaxFuzzPixels) return true;
        }
    }
    return false;
}

}  // namespace quillon::fuzz
