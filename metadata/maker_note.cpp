#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "metadata/directory_walk.h"
#include "metadata/lens_description.h"

// Lens data from the maker notes of the four makers that write it. The stored
// byte-order marks of maker notes are unreliable (some say "MM" over a
// little-endian directory), so the order is chosen by which one gives a
// directory that fits.

namespace quillon::metadata {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool EndsText(char c) { return c == '<' || c == '"'; }

// A decimal number of digits with an optional fraction, starting at `pos`,
// which holds a digit. Advances `pos` behind it. Converted independently of
// the user's locale, whose decimal separator may not be '.'.
double ReadNumber(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    while (pos < text.size() && IsDigit(text[pos])) ++pos;
    if (pos + 1 < text.size() && text[pos] == '.' && IsDigit(text[pos + 1])) {
        ++pos;
        while (pos < text.size() && IsDigit(text[pos])) ++pos;
    }
    double value = 0.0;
    const auto result = std::from_chars(text.data() + start, text.data() + pos, value);
    // Too many digits for a double: no lens is described by such a number.
    if (result.ec != std::errc() || !std::isfinite(value)) return 0.0;
    return value;
}

// Moves `pos` to the next digit; false when the text ends first.
bool SkipToDigit(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && text[pos] != '\0' && !EndsText(text[pos])) {
        if (IsDigit(text[pos])) return true;
        ++pos;
    }
    return false;
}

// "-" followed by a number at `pos`.
bool HyphenNumberAt(std::string_view text, std::size_t pos) {
    return pos + 1 < text.size() && text[pos] == '-' && IsDigit(text[pos + 1]);
}

}  // namespace

LensDescription ParseLensDescription(std::string_view text) {
    LensDescription lens;
    std::size_t pos = 0;
    if (!SkipToDigit(text, pos)) return lens;

    double focal[3] = {};
    int focalCount = 0;
    focal[focalCount++] = ReadNumber(text, pos);
    while (focalCount < 3 && HyphenNumberAt(text, pos)) {
        ++pos;
        focal[focalCount++] = ReadNumber(text, pos);
    }
    lens.minFlen = focal[0];
    lens.maxFlen = focal[focalCount - 1];

    if (!SkipToDigit(text, pos)) return lens;
    lens.minFlenMaxAper = ReadNumber(text, pos);
    lens.maxFlenMaxAper = lens.minFlenMaxAper;
    if (HyphenNumberAt(text, pos)) {
        ++pos;
        lens.maxFlenMaxAper = ReadNumber(text, pos);
    }
    return lens;
}

namespace detail {
namespace {

constexpr std::uint16_t kTypeByte = 1;
constexpr std::uint16_t kTypeAscii = 2;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeRational = 5;

// Canon camera settings: an array of 16-bit values.
constexpr std::uint16_t kTagCanonCameraSettings = 0x0001;
constexpr std::uint16_t kTagCanonLensModel = 0x0095;
constexpr std::uint64_t kCanonSettingsMinSize = 52;  // up to the focal units, value 25
constexpr int kCanonLensType = 22;
constexpr int kCanonLongFocal = 23;
constexpr int kCanonShortFocal = 24;
constexpr int kCanonFocalUnits = 25;

constexpr std::uint16_t kTagNikonLens = 0x0084;
constexpr std::uint16_t kTagPentaxLensType = 0x003F;
constexpr std::uint16_t kTagOlympusEquipment = 0x2010;
constexpr std::uint16_t kTagOlympusLensType = 0x0201;
constexpr std::uint16_t kTagOlympusLensModel = 0x0203;
constexpr std::uint16_t kTagOlympusShortFocalAperture = 0x0205;
constexpr std::uint16_t kTagOlympusLongFocalAperture = 0x0206;
constexpr std::uint16_t kTagOlympusShortFocal = 0x0207;
constexpr std::uint16_t kTagOlympusLongFocal = 0x0208;

bool BytesAt(const ByteReader& reader, std::uint64_t at, std::string_view expected) {
    auto bytes = reader.Slice(at, expected.size());
    return bytes && std::memcmp(bytes->data(), expected.data(), expected.size()) == 0;
}

// Olympus stores apertures as APEX-like steps of 1/256 stop: sqrt(2)^(v/256),
// rounded to the tenths a lens is labelled with.
double OlympusAperture(std::uint16_t raw) {
    const double aperture = std::pow(std::sqrt(2.0), raw / 256.0);
    return std::trunc((aperture + 0.05) * 10.0) * 0.1;
}

void TakeIfUnset(double& field, double value) {
    if (field == 0.0) field = value;
}

}  // namespace

void DirectoryWalker::MakerTag(int kind, const DirectoryEntry& entry, std::uint64_t base,
                               std::uint64_t length, int depth) {
    switch (kind) {
        case kCanonDirectory:
            if (entry.tag == kTagCanonCameraSettings && entry.size >= kCanonSettingsMinSize) {
                auto at = [&](int index) -> double {
                    return reader_.U16(entry.location + 2 * static_cast<std::uint64_t>(index))
                        .value_or(0);
                };
                shot_.lensId = static_cast<std::int32_t>(at(kCanonLensType));
                double units = at(kCanonFocalUnits);
                if (units == 0.0) units = 1.0;
                TakeIfUnset(shot_.minFlen, at(kCanonShortFocal) / units);
                TakeIfUnset(shot_.maxFlen, at(kCanonLongFocal) / units);
            } else if (entry.tag == kTagCanonLensModel && entry.type == kTypeAscii) {
                shot_.lensNames.makerNoteModel = TextOf(entry, kMaxLensNameChars);
                // The walk checked that the value lies in the block, so its
                // size fits in memory.
                const LensDescription lens =
                    ParseLensDescription(TextOf(entry, static_cast<std::size_t>(entry.size)));
                TakeIfUnset(shot_.minFlen, lens.minFlen);
                TakeIfUnset(shot_.maxFlen, lens.maxFlen);
                TakeIfUnset(shot_.minFlenMaxAper, lens.minFlenMaxAper);
                TakeIfUnset(shot_.maxFlenMaxAper, lens.maxFlenMaxAper);
            }
            break;
        case kNikonDirectory:
            if (entry.tag == kTagNikonLens && entry.type == kTypeRational && entry.size == 32) {
                double values[4];
                bool plausible = true;
                for (int i = 0; i < 4; ++i) {
                    values[i] =
                        ValueAt(entry.location + 8 * static_cast<std::uint64_t>(i), kTypeRational);
                    // A zero denominator reads as 0; a lens record with any
                    // value below 1 is not a lens and must not half-apply.
                    if (values[i] < 1.0) plausible = false;
                }
                shot_.minFlen = plausible ? values[0] : 0.0;
                shot_.maxFlen = plausible ? values[1] : 0.0;
                shot_.minFlenMaxAper = plausible ? values[2] : 0.0;
                shot_.maxFlenMaxAper = plausible ? values[3] : 0.0;
            }
            break;
        case kPentaxDirectory:
            if (entry.tag == kTagPentaxLensType && entry.size == 2) {
                const std::uint8_t first = reader_.U8(entry.location).value_or(0);
                const std::uint8_t second = reader_.U8(entry.location + 1).value_or(0);
                shot_.lensId = first + 256 * second;
            }
            break;
        case kOlympusDirectory:
            if (entry.tag == kTagOlympusEquipment) {
                Walk(kOlympusEquipmentDirectory, entry.location, base, length, depth + 1);
            }
            break;
        case kOlympusEquipmentDirectory: {
            const bool isShort = entry.type == kTypeShort && entry.size == 2;
            const std::uint16_t shortValue =
                isShort ? reader_.U16(entry.location).value_or(0) : std::uint16_t{0};
            switch (entry.tag) {
                case kTagOlympusLensType:
                    if (entry.type == kTypeByte && entry.size == 6) {
                        shot_.lensId = reader_.U8(entry.location + 2).value_or(0) * 256 +
                                       reader_.U8(entry.location + 3).value_or(0);
                    }
                    break;
                case kTagOlympusLensModel:
                    if (entry.type == kTypeAscii) {
                        shot_.lensNames.makerNoteModel = TextOf(entry, kMaxLensNameChars);
                    }
                    break;
                case kTagOlympusShortFocalAperture:
                    if (isShort && shortValue != 0) {
                        shot_.minFlenMaxAper = OlympusAperture(shortValue);
                    }
                    break;
                case kTagOlympusLongFocalAperture:
                    if (isShort && shortValue != 0) {
                        shot_.maxFlenMaxAper = OlympusAperture(shortValue);
                    }
                    break;
                case kTagOlympusShortFocal:
                    if (isShort) shot_.minFlen = shortValue;
                    break;
                case kTagOlympusLongFocal:
                    if (isShort) shot_.maxFlen = shortValue;
                    break;
                default:
                    break;
            }
            break;
        }
        default:
            break;
    }
}

void ReadMakerNote(DirectoryWalker& walker) {
    ShotInfo& shot = walker.shot();
    ByteReader& reader = walker.reader();
    const auto note = static_cast<std::uint64_t>(shot.makerNote);
    const auto exifBase = static_cast<std::uint64_t>(shot.makerNoteBase);
    const std::uint64_t length = shot.makerNoteLength;

    int kind = 0;
    std::uint64_t start = 0;
    std::uint64_t base = exifBase;
    if (MakeStartsWith(shot, "Canon")) {
        kind = kCanonDirectory;
        start = note;
    } else if (MakeStartsWith(shot, "Nikon")) {
        // Only the second Nikon format carries the lens record; it embeds a TIFF
        // header of its own at byte 10 that its offsets count from.
        if (!BytesAt(reader, note, "Nikon") || reader.U8(note + 6) != 2) return;
        kind = kNikonDirectory;
        base = note + 10;
        start = note + 18;
    } else if (MakeStartsWith(shot, "Pentax")) {
        if (!BytesAt(reader, note, "AOC")) return;
        kind = kPentaxDirectory;
        start = note + 6;
    } else if (MakeStartsWith(shot, "Olympus")) {
        using namespace std::string_view_literals;
        if (BytesAt(reader, note, "OLYMPUS\0"sv)) {
            kind = kOlympusDirectory;
            start = note + 12;
            base = note;
        } else if (BytesAt(reader, note, "OLYMP\0"sv)) {
            kind = kOlympusDirectory;
            start = note + 8;
        } else {
            return;
        }
    } else {
        return;
    }

    // OffsetSchema records how far an editor moved the maker note, for notes
    // whose offsets count from the EXIF header. Notes that count from their
    // own start moved with their data and need no correction; shifting them
    // would send every offset astray.
    walker.SetMakerNoteShift(base == exifBase ? shot.offsetSchema : 0);

    const ByteOrder exifOrder = reader.order();
    if (!walker.DirectoryFits(start, base, length)) {
        reader.SetOrder(exifOrder == ByteOrder::kBig ? ByteOrder::kLittle : ByteOrder::kBig);
        if (!walker.DirectoryFits(start, base, length)) {
            reader.SetOrder(exifOrder);
            return;
        }
    }
    walker.Walk(kind, start, base, length, 1);
    reader.SetOrder(exifOrder);
}

}  // namespace detail
}  // namespace quillon::metadata
