#include "metadata/info_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace quillon::metadata {
namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr int kInfoLines = 6;
constexpr double kTolerance = 0.1;

bool IsValidUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t follow = 0;
        if (c < 0x80) {
            follow = 0;
        } else if (c >= 0xC2 && c <= 0xDF) {
            follow = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            follow = 2;
        } else if (c >= 0xF0 && c <= 0xF4) {
            follow = 3;
        } else {
            return false;
        }
        if (i + follow >= text.size() && follow > 0) return false;
        for (std::size_t j = 1; j <= follow; ++j) {
            if ((static_cast<unsigned char>(text[i + j]) & 0xC0) != 0x80) return false;
        }
        i += follow + 1;
    }
    return true;
}

}  // namespace

std::string MetadataTextToUtf8(const std::string& text) {
    if (IsValidUtf8(text)) return text;
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string FormatInfoNumber(double value) {
    const double scaled = value * 10.0 + 0.51;
    // Metadata can hold any number; one that does not fit is written as the
    // largest that does rather than by an undefined conversion.
    long long n = 0;
    if (std::isnan(scaled)) {
        n = 0;
    } else if (scaled >= static_cast<double>(std::numeric_limits<int>::max())) {
        n = std::numeric_limits<int>::max();
    } else if (scaled <= static_cast<double>(std::numeric_limits<int>::min())) {
        n = std::numeric_limits<int>::min();
    } else {
        n = static_cast<long long>(scaled);
    }
    const char* sign = n < 0 ? "-" : "";
    const long long magnitude = std::llabs(n);
    char buffer[48];
    if (magnitude % 10 == 0) {
        std::snprintf(buffer, sizeof buffer, "%s%lld", sign, magnitude / 10);
    } else {
        std::snprintf(buffer, sizeof buffer, "%s%lld.%lld", sign, magnitude / 10, magnitude % 10);
    }
    return buffer;
}

std::string BuildInfoText(const ShotInfo& shot, const InfoTextContext& context,
                          const platform::TextSource& texts) {
    std::string out;
    int lines = 0;
    auto endLine = [&] {
        out += kLineEnd;
        ++lines;
    };

    if (!shot.make.empty() && !shot.model.empty()) {
        out += MetadataTextToUtf8(shot.make);
        endLine();
        out += MetadataTextToUtf8(shot.model);
        endLine();
    } else {
        endLine();
        endLine();
    }

    if (context.cameraHasStandardLens || shot.minFlen == 0.0 || shot.maxFlen == 0.0) {
        if (shot.focalLength != 0.0) out += FormatInfoNumber(shot.focalLength) + "mm";
    } else {
        const bool zoom = std::fabs(shot.maxFlen - shot.minFlen) >= kTolerance;
        out += FormatInfoNumber(shot.minFlen);
        if (zoom) out += "-" + FormatInfoNumber(shot.maxFlen);
        out += "mm";
        if (shot.minFlenMaxAper != 0.0 && shot.maxFlenMaxAper != 0.0) {
            out += " f/" + FormatInfoNumber(shot.minFlenMaxAper);
            if (std::fabs(shot.maxFlenMaxAper - shot.minFlenMaxAper) >= kTolerance) {
                out += "-" + FormatInfoNumber(shot.maxFlenMaxAper);
            }
        }
        if (shot.focalLength != 0.0 && zoom) {
            out += " at " + FormatInfoNumber(shot.focalLength) + "mm";
        }
    }
    endLine();

    if (shot.exposureTime != 0.0 && shot.fNumber != 0.0) {
        if (shot.exposureTime < 1.0) {
            out += "1/" + FormatInfoNumber(1.0 / shot.exposureTime);
        } else {
            out += FormatInfoNumber(shot.exposureTime);
        }
        out += " s at f/" + FormatInfoNumber(shot.fNumber);
        if (shot.iso != 0) out += ", ISO " + std::to_string(shot.iso);
        endLine();
    }

    out += MetadataTextToUtf8(shot.dateTimeOriginal);
    endLine();
    while (lines < kInfoLines) endLine();

    if (context.cameraAndLensSelected &&
        (shot.make.empty() || shot.model.empty() || shot.focalLength == 0.0)) {
        out += texts.Text(kNoExifInfoText);
        out += kLineEnd;
    }
    return out;
}

}  // namespace quillon::metadata
