#include "metadata/xmp_reader.h"

#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "metadata/lens_description.h"

namespace quillon::metadata {
namespace {

using Packet = std::span<const std::uint8_t>;

constexpr double kPlaceholderFocalLength = 1.0;

struct KeyValue {
    std::string text;
    std::size_t start = 0;  // position of the value in the packet
    bool elementForm = false;
};

// The value of the first usable occurrence of `key`, or nullopt.
std::optional<KeyValue> FindValue(Packet packet, std::string_view key) {
    const std::size_t n = packet.size();
    const std::size_t k = key.size();
    if (n < k + 1) return std::nullopt;
    // Nothing that starts past this point can be followed by a form character
    // and a terminated value; a value running into it is cut off.
    const std::size_t limit = n - (k + 1);
    std::size_t pos = 0;
    while (pos <= limit) {
        if (std::memcmp(packet.data() + pos, key.data(), k) != 0) {
            ++pos;
            continue;
        }
        const std::uint8_t form = packet[pos + k];
        std::size_t start = 0;
        std::uint8_t endChar = 0;
        if (form == '=') {
            start = pos + k + 2;  // behind the equals sign and the opening quote
            endChar = '"';
        } else if (form == '>') {
            start = pos + k + 1;
            endChar = '<';
        } else {
            // Only the start of a longer key ("aux:Lens" in "aux:LensInfo").
            pos += k;
            continue;
        }
        std::size_t q = start;
        while (q <= limit && packet[q] != endChar && packet[q] != 0) ++q;
        if (q > limit) return std::nullopt;
        if (packet[q] == 0) {
            pos = q;
            continue;
        }
        return KeyValue{
            std::string(reinterpret_cast<const char*>(packet.data() + start), q - start), start,
            form == '>'};
    }
    return std::nullopt;
}

// A minimal "%d": optional white space, optional sign, digits. Values outside
// the 32-bit range are refused rather than wrapped.
bool ScanInt(std::string_view text, std::size_t& pos, long long& out) {
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return false;
    long long value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos] - '0');
        if (value > 2147483648LL) return false;
        ++pos;
    }
    out = negative ? -value : value;
    return out >= -2147483648LL && out <= 2147483647LL;
}

void SkipSpace(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) {
        ++pos;
    }
}

// "%d/%d" from `pos`: numerator over denominator, 0 for a zero denominator.
std::optional<double> ScanRational(std::string_view text, std::size_t& pos) {
    long long numerator = 0;
    long long denominator = 0;
    if (!ScanInt(text, pos, numerator)) return std::nullopt;
    if (pos >= text.size() || text[pos] != '/') return std::nullopt;
    ++pos;
    if (!ScanInt(text, pos, denominator)) return std::nullopt;
    return denominator == 0 ? 0.0
                            : static_cast<double>(numerator) / static_cast<double>(denominator);
}

std::optional<double> RationalValue(Packet packet, std::string_view key) {
    auto value = FindValue(packet, key);
    if (!value) return std::nullopt;
    std::size_t pos = 0;
    return ScanRational(value->text, pos);
}

// The ISO list is element content: the first "<rdf:li>" from the value's start
// on, within the packet's text.
std::optional<std::int32_t> IsoValue(Packet packet) {
    constexpr std::string_view kKey = "exif:ISOSpeedRatings";
    constexpr std::string_view kItem = "<rdf:li>";
    auto value = FindValue(packet, kKey);
    if (!value || !value->elementForm) return std::nullopt;
    const std::size_t start = value->start;
    const char* text = reinterpret_cast<const char*>(packet.data());
    std::size_t textEnd = start;
    while (textEnd < packet.size() && packet[textEnd] != 0) ++textEnd;
    const std::string_view rest(text + start, textEnd - start);
    const std::size_t item = rest.find(kItem);
    if (item == std::string_view::npos) return std::nullopt;
    std::size_t pos = item + kItem.size();
    long long iso = 0;
    if (!ScanInt(rest, pos, iso)) return std::nullopt;
    return static_cast<std::int32_t>(iso);
}

void TakeText(Packet packet, std::string_view key, std::size_t maxChars, std::string& field) {
    if (!field.empty()) return;
    if (auto value = FindValue(packet, key)) field = value->text.substr(0, maxChars);
}

}  // namespace

void ParseXmp(std::span<const std::uint8_t> packet, ShotInfo& shot) {
    if (packet.empty()) return;
    TakeText(packet, "tiff:Make", kMaxMakeChars, shot.make);
    TakeText(packet, "tiff:Model", kMaxModelChars, shot.model);
    TakeText(packet, "exif:DateTimeOriginal", kMaxDateChars, shot.dateTimeOriginal);
    if (shot.focalLength == 0.0) {
        if (auto focal = RationalValue(packet, "exif:FocalLength")) {
            shot.focalLength = *focal == kPlaceholderFocalLength ? 0.0 : *focal;
        }
    }
    if (shot.iso == 0) {
        if (auto iso = IsoValue(packet)) shot.iso = *iso;
    }
    if (shot.exposureTime == 0.0) {
        if (auto exposure = RationalValue(packet, "exif:ExposureTime")) {
            shot.exposureTime = *exposure;
        }
    }
    if (shot.exposureTime == 0.0) {
        if (auto apex = RationalValue(packet, "exif:ShutterSpeedValue")) {
            const double seconds = 1.0 / std::pow(2.0, *apex);
            if (std::isfinite(seconds)) shot.exposureTime = seconds;
        }
    }
    if (shot.fNumber == 0.0) {
        if (auto fNumber = RationalValue(packet, "exif:FNumber")) shot.fNumber = *fNumber;
    }
    if (auto lensName = FindValue(packet, "aux:Lens")) {
        shot.lensNames.xmpLens = lensName->text.substr(0, kMaxLensNameChars);
        // The lens name is the most specific lens data an image carries, so it
        // replaces what EXIF and the maker note said, unknown parts included.
        const LensDescription lens = ParseLensDescription(lensName->text);
        shot.minFlen = lens.minFlen;
        shot.maxFlen = lens.maxFlen;
        shot.minFlenMaxAper = lens.minFlenMaxAper;
        shot.maxFlenMaxAper = lens.maxFlenMaxAper;
    }
    if (auto info = FindValue(packet, "aux:LensInfo")) {
        double values[4];
        std::size_t pos = 0;
        bool complete = true;
        for (int i = 0; i < 4 && complete; ++i) {
            if (i > 0) SkipSpace(info->text, pos);
            auto rational = ScanRational(info->text, pos);
            if (rational) {
                values[i] = *rational;
            } else {
                complete = false;
            }
        }
        if (complete) {
            double* fields[4] = {&shot.minFlen, &shot.maxFlen, &shot.minFlenMaxAper,
                                 &shot.maxFlenMaxAper};
            for (int i = 0; i < 4; ++i) {
                if (*fields[i] == 0.0) *fields[i] = values[i];
            }
        }
    }
    if (auto lensModel = FindValue(packet, "exifEX:LensModel")) {
        shot.lensNames.xmpLensModel = lensModel->text.substr(0, kMaxLensNameChars);
    }
    if (auto profile = FindValue(packet, "photoshop:ICCProfile")) {
        for (std::size_t i = 0; i < kNamedColourSpaces.size(); ++i) {
            if (std::string_view(profile->text).starts_with(kNamedColourSpaces[i])) {
                shot.colourSpaceIndex = static_cast<std::int32_t>(i);
                break;
            }
        }
    }
}

}  // namespace quillon::metadata
