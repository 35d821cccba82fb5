#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Builds TIFF structures byte by byte for metadata tests: directories with
// their out-of-line values, maker notes with their own headers and bases, and
// deliberately broken offsets. Offsets are from the TIFF header, as in a file.

namespace quillon::metadata::testing {

struct Entry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::vector<std::int64_t> numbers;    // one per value; two per rational
    std::vector<std::uint8_t> bytes;      // for byte, ASCII and undefined types
    std::optional<std::uint32_t> offset;  // value field written as this, data ignored

    static Entry Shorts(std::uint16_t tag, std::initializer_list<std::int64_t> values) {
        return Entry{tag, 3, static_cast<std::uint32_t>(values.size()), values, {}, {}};
    }
    static Entry Longs(std::uint16_t tag, std::initializer_list<std::int64_t> values) {
        return Entry{tag, 4, static_cast<std::uint32_t>(values.size()), values, {}, {}};
    }
    static Entry Rationals(std::uint16_t tag,
                           std::initializer_list<std::pair<std::int64_t, std::int64_t>> values,
                           std::uint16_t type = 5) {
        Entry e{tag, type, static_cast<std::uint32_t>(values.size()), {}, {}, {}};
        for (const auto& [n, d] : values) {
            e.numbers.push_back(n);
            e.numbers.push_back(d);
        }
        return e;
    }
    static Entry Rational(std::uint16_t tag, std::int64_t n, std::int64_t d) {
        return Rationals(tag, {{n, d}});
    }
    static Entry Ascii(std::uint16_t tag, std::string_view text, bool terminate = true) {
        Entry e{tag, 2, 0, {}, std::vector<std::uint8_t>(text.begin(), text.end()), {}};
        if (terminate) e.bytes.push_back(0);
        e.count = static_cast<std::uint32_t>(e.bytes.size());
        return e;
    }
    static Entry Bytes(std::uint16_t tag, std::uint16_t type, std::vector<std::uint8_t> data) {
        const auto count = static_cast<std::uint32_t>(data.size());
        return Entry{tag, type, count, {}, std::move(data), {}};
    }
    // An entry whose value field holds `offset` as it stands.
    static Entry At(std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                    std::uint32_t offset) {
        return Entry{tag, type, count, {}, {}, offset};
    }
};

class TiffBuilder {
  public:
    // `mark` replaces the byte-order mark ("II"/"MM") when given.
    explicit TiffBuilder(bool bigEndian = false, std::string_view mark = {})
        : bigEndian_(bigEndian) {
        const std::string m = mark.empty() ? (bigEndian ? "MM" : "II") : std::string(mark);
        tiff_.assign(m.begin(), m.end());
        Put16(42);
        Put32(0);  // first directory, set by SetFirstDirectory
    }

    void SetBigEndian(bool big) { bigEndian_ = big; }
    std::uint32_t Here() const { return static_cast<std::uint32_t>(tiff_.size()); }

    std::uint32_t Append(std::string_view bytes) {
        const std::uint32_t at = Here();
        tiff_.insert(tiff_.end(), bytes.begin(), bytes.end());
        return at;
    }
    std::uint32_t Append(const std::vector<std::uint8_t>& bytes) {
        const std::uint32_t at = Here();
        tiff_.insert(tiff_.end(), bytes.begin(), bytes.end());
        return at;
    }

    // Writes a directory at the end followed by its long values; returns its
    // offset. Long values' offsets are written relative to `offsetBase`.
    std::uint32_t AddDirectory(const std::vector<Entry>& entries, std::uint32_t offsetBase = 0,
                               std::uint32_t next = 0) {
        const std::uint32_t start = Here();
        Put16(static_cast<std::uint16_t>(entries.size()));
        std::uint32_t data = start + 2 + 12 * static_cast<std::uint32_t>(entries.size()) + 4;
        std::vector<std::size_t> fieldAt;
        std::vector<std::vector<std::uint8_t>> payloads;
        for (const Entry& e : entries) {
            Put16(e.tag);
            Put16(e.type);
            Put32(e.count);
            fieldAt.push_back(tiff_.size());
            Put32(0);
            payloads.push_back(Encode(e));
        }
        Put32(next);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Entry& e = entries[i];
            auto& payload = payloads[i];
            if (e.offset) {
                Patch32(fieldAt[i], *e.offset);
            } else if (payload.size() <= 4) {
                for (std::size_t j = 0; j < payload.size(); ++j) tiff_[fieldAt[i] + j] = payload[j];
            } else {
                Patch32(fieldAt[i], data - offsetBase);
                tiff_.insert(tiff_.end(), payload.begin(), payload.end());
                data += static_cast<std::uint32_t>(payload.size());
            }
        }
        return start;
    }

    void SetFirstDirectory(std::uint32_t offset) { Patch32(4, offset); }
    void Patch32(std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            const int shift = bigEndian_ ? 24 - 8 * i : 8 * i;
            tiff_[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> shift);
        }
    }

    const std::vector<std::uint8_t>& Tiff() const { return tiff_; }
    // The APP1 payload form: "Exif\0\0" before the TIFF structure.
    std::vector<std::uint8_t> ExifBlock() const {
        std::vector<std::uint8_t> block = {'E', 'x', 'i', 'f', 0, 0};
        block.insert(block.end(), tiff_.begin(), tiff_.end());
        return block;
    }

  private:
    void Put16(std::uint16_t v) {
        if (bigEndian_) {
            tiff_.push_back(static_cast<std::uint8_t>(v >> 8));
            tiff_.push_back(static_cast<std::uint8_t>(v));
        } else {
            tiff_.push_back(static_cast<std::uint8_t>(v));
            tiff_.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    }
    void Put32(std::uint32_t v) {
        tiff_.resize(tiff_.size() + 4);
        Patch32(tiff_.size() - 4, v);
    }

    std::vector<std::uint8_t> Encode(const Entry& e) const {
        if (!e.bytes.empty()) return e.bytes;
        std::vector<std::uint8_t> out;
        const int width = (e.type == 3 || e.type == 8) ? 2 : (e.type == 1 || e.type == 6) ? 1 : 4;
        for (std::int64_t n : e.numbers) {
            const auto v = static_cast<std::uint32_t>(n);
            for (int i = 0; i < width; ++i) {
                const int shift = bigEndian_ ? 8 * (width - 1 - i) : 8 * i;
                out.push_back(static_cast<std::uint8_t>(v >> shift));
            }
        }
        return out;
    }

    bool bigEndian_;
    std::vector<std::uint8_t> tiff_;
};

}  // namespace quillon::metadata::testing
