#include "plugin/host_metadata.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>
#include <system_error>

#include <unistd.h>

#include "metadata/exif_reader.h"
#include "metadata/lens_description.h"
#include "metadata/xmp_reader.h"
#include "platform/paths.h"
#include "preview/colour_management.h"

namespace quillon::plugin {

namespace {

using metadata::ShotInfo;

std::string_view SkipLeadingBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n' ||
                             text.front() == '\r')) {
        text.remove_prefix(1);
    }
    return text;
}

// The leading decimal number of `text`, as C's "%f" reads it but independent
// of the host process's locale. Numbers that are not finite are no numbers.
std::optional<double> LeadingReal(std::string_view text) {
    text = SkipLeadingBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// The leading integer of `text` ("%d"); `rest` receives what follows it.
std::optional<std::int32_t> LeadingInteger(std::string_view text, std::string_view& rest) {
    text = SkipLeadingBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc()) return std::nullopt;
    rest = text.substr(static_cast<std::size_t>(end - text.data()));
    return value;
}

void ApplyExposureTime(std::string_view value, ShotInfo& shot) {
    std::string_view rest;
    const std::optional<std::int32_t> seconds = LeadingInteger(value, rest);
    if (!seconds) return;
    if (rest.empty() || rest.front() != '/') {
        shot.exposureTime = *seconds;
        return;
    }
    const std::optional<std::int32_t> divisor = LeadingInteger(rest.substr(1), rest);
    if (!divisor) {
        shot.exposureTime = *seconds;
    } else {
        shot.exposureTime = *divisor != 0 ? static_cast<double>(*seconds) / *divisor : 0.0;
    }
}

void ApplyRecord(std::string_view key, std::string_view value, ShotInfo& shot) {
    if (key == "Make") {
        shot.make = std::string(value.substr(0, metadata::kMaxMakeChars));
    } else if (key == "Model") {
        shot.model = std::string(value.substr(0, metadata::kMaxModelChars));
    } else if (key == "FocalLength") {
        if (const auto v = LeadingReal(value)) shot.focalLength = *v;
    } else if (key == "FNumber") {
        if (const auto v = LeadingReal(value)) shot.fNumber = *v;
    } else if (key == "LenModel") {
        const metadata::LensDescription lens = metadata::ParseLensDescription(value);
        shot.minFlen = lens.minFlen;
        shot.maxFlen = lens.maxFlen;
        shot.minFlenMaxAper = lens.minFlenMaxAper;
        shot.maxFlenMaxAper = lens.maxFlenMaxAper;
    } else if (key == "ExposureTime") {
        ApplyExposureTime(value, shot);
    } else if (key == "ISOSpeed") {
        std::string_view rest;
        if (const auto v = LeadingInteger(value, rest)) shot.iso = *v;
    }
}

// Locks a block property of the document and hands its bytes to `parse`;
// the handle is disposed of in every case. False when no bytes were parsed.
template <class Parse>
bool WithProperty(const FilterRecord& record, FilterKey key, const Parse& parse) {
    const FilterPropertyProcs* properties = record.propertyProcs;
    const FilterHandleProcs* handles = record.handleProcs;
    if (properties == nullptr || properties->getPropertyProc == nullptr || handles == nullptr ||
        handles->getSizeProc == nullptr || handles->lockProc == nullptr ||
        handles->unlockProc == nullptr || handles->disposeProc == nullptr) {
        return false;
    }
    std::int64_t simple = 0;
    FilterHandle handle = nullptr;
    if (properties->getPropertyProc(properties->context, FILTER_PROPERTY_SIGNATURE, key, 0, &simple,
                                    &handle) != FILTER_RESULT_OK) {
        if (handle != nullptr) handles->disposeProc(handles->context, handle);
        return false;
    }
    bool parsed = false;
    if (handle != nullptr) {
        const std::uint64_t size = handles->getSizeProc(handles->context, handle);
        if (size != 0 && size <= SIZE_MAX) {
            if (const void* bytes = handles->lockProc(handles->context, handle, 0)) {
                parse(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(bytes),
                                                    static_cast<std::size_t>(size)));
                parsed = true;
                handles->unlockProc(handles->context, handle);
            }
        }
        handles->disposeProc(handles->context, handle);
    }
    return parsed;
}

}  // namespace

std::string HandoffFilePath() {
    const std::optional<std::string> config = platform::UserConfigDir();
    if (!config) return {};
    return platform::JoinPath(platform::JoinPath(platform::JoinPath(*config, "Velmora"), "Quillon"),
                              "exif.dat");
}

bool HandoffFileUsable(const std::string& path) {
    return !path.empty() && ::access(path.c_str(), R_OK | W_OK) == 0;
}

void ParseHandoffText(std::span<const std::uint8_t> bytes, ShotInfo& shot) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()),
                          std::min(bytes.size(), kHandoffFileBytes));
    text = text.substr(0, text.find('\0'));
    std::size_t at = 1;  // the first record's separator
    while (at <= text.size()) {
        const std::size_t keyEnd = text.find('!', at);
        if (keyEnd == std::string_view::npos) return;
        const std::size_t valueEnd = text.find('!', keyEnd + 1);
        if (valueEnd == std::string_view::npos) return;
        ApplyRecord(text.substr(at, keyEnd - at), text.substr(keyEnd + 1, valueEnd - keyEnd - 1),
                    shot);
        at = valueEnd + 2;  // past the next record's separator
    }
}

std::span<const std::uint8_t> HandoffFile::Text() {
    if (!text_) {
        text_.emplace();
        std::FILE* file = path_.empty() ? nullptr : std::fopen(path_.c_str(), "rb");
        if (file != nullptr) {
            text_->resize(kHandoffFileBytes);
            text_->resize(std::fread(text_->data(), 1, text_->size(), file));
            std::fclose(file);
        }
    }
    return *text_;
}

ShotInfo ReadHostMetadata(const FilterRecord& record, HandoffFile& handoff,
                          const metadata::DetectSwitches& detect) {
    ShotInfo shot;  // cleared, with no colour space named
    const bool exifParsed =
        WithProperty(record, FILTER_PROPERTY_EXIF, [&](std::span<const std::uint8_t> block) {
            metadata::ParseExifBlock(block, shot, metadata::ExifBlockForm::kTiffStructure);
        });
    if (!exifParsed) ParseHandoffText(handoff.Text(), shot);
    (void)WithProperty(record, FILTER_PROPERTY_XMP, [&](std::span<const std::uint8_t> packet) {
        metadata::ParseXmp(packet, shot);
    });
    metadata::CompleteShotInfo(shot, detect);
    return shot;
}

std::vector<std::uint8_t> HostSourceProfile(const FilterRecord& record, const ShotInfo& shot) {
    // An sRGB document is shown as it is, whatever profile the host attaches.
    if (record.canUseICCProfiles == 0 || record.iCCprofileData == nullptr ||
        record.iCCprofileSize <= 0 || record.iCCprofileSize > kMaxHostProfileBytes ||
        shot.colourSpaceIndex == preview::kProfileSrgb) {
        return {};
    }
    const auto* bytes = static_cast<const std::uint8_t*>(record.iCCprofileData);
    return {bytes, bytes + record.iCCprofileSize};
}

}  // namespace quillon::plugin
