#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/byte_reader.h"
#include "metadata/shot_info.h"

// The walk over TIFF-style directories shared by the standard EXIF directories
// and the maker notes. Internal to the metadata module.
//
// Every position here is a byte offset inside the EXIF block that was handed to
// the parser. A directory's `base` is where its value offsets count from and
// `length` bounds those offsets; both come from the block's own headers and may
// claim more than the block holds (a maker note's base lies inside the block but
// its length is the whole structure's), so each read is checked against the
// block as well.

namespace quillon::metadata::detail {

enum DirectoryKind : int {
    kStandardDirectory = 0,
    kCanonDirectory = 1,
    kNikonDirectory = 2,
    kPentaxDirectory = 3,
    kOlympusDirectory = 4,
    kOlympusEquipmentDirectory = 5,
};

// Nested directories deeper than this are ignored; it bounds loops such as a
// sub-directory pointer that leads back to its own directory.
inline constexpr int kMaxDirectoryDepth = 4;

struct DirectoryEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::uint64_t size = 0;  // count x the type's size
    std::uint64_t location =
        0;  // where the value lies; [location, location + size) is in the block
};

// Byte size of one value of a TIFF field type; 0 for types without one.
std::uint64_t TypeSize(std::uint16_t type);

class DirectoryWalker {
  public:
    DirectoryWalker(std::span<const std::uint8_t> block, ShotInfo& shot);

    ByteReader& reader() { return reader_; }
    ShotInfo& shot() { return shot_; }

    // True when the directory at `start` (its entry count read in the current
    // byte order) ends where a directory may end against base + length, and
    // its entries lie inside the block.
    bool DirectoryFits(std::uint64_t start, std::uint64_t base, std::uint64_t length) const;

    // What is added to value offsets in maker-note directories.
    void SetMakerNoteShift(std::int64_t shift) { makerNoteShift_ = shift; }

    void Walk(int kind, std::uint64_t start, std::uint64_t base, std::uint64_t length, int depth);

    // First value of the entry converted by its type; 0 for types without a
    // numeric value and for anything that cannot be read.
    double FirstValue(const DirectoryEntry& entry) const {
        return ValueAt(entry.location, entry.type);
    }
    double ValueAt(std::uint64_t location, std::uint16_t type) const;
    // The entry's text, ending at its first NUL, at its byte size or after
    // `maxChars`, whichever comes first.
    std::string TextOf(const DirectoryEntry& entry, std::size_t maxChars) const;

  private:
    void StandardTag(const DirectoryEntry& entry, std::uint64_t base, std::uint64_t length,
                     int depth);
    // Defined beside the maker-note reader.
    void MakerTag(int kind, const DirectoryEntry& entry, std::uint64_t base, std::uint64_t length,
                  int depth);

    ByteReader reader_;
    ShotInfo& shot_;
    std::int64_t makerNoteShift_ = 0;
};

// Reads the lens data of the maker note recorded in the walker's ShotInfo.
void ReadMakerNote(DirectoryWalker& walker);

// Integer part of a value, kept inside the 32-bit range (a NaN gives 0).
std::int32_t TruncToInt32(double value);

}  // namespace quillon::metadata::detail
