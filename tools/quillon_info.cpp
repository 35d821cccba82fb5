// quillon-info FILE...
//
// Shows what the program reads from photos: for each file the values of its
// ShotInfo, one "name: value" line each (empty where the photo has none), then
// the information text as the main window shows it. A file that cannot be read
// gives the reader's message on stderr and makes the exit status 1.

#include <cstdio>
#include <string>
#include <string_view>

#include "imageio/image_file.h"
#include "metadata/info_text.h"
#include "metadata/parse_metadata.h"
#include "metadata/shot_info.h"
#include "metadata/xmp_reader.h"
#include "platform/message_sink.h"
#include "settings/languages.h"
#include "settings/string_table.h"

namespace {

using quillon::imageio::ImageMetadata;
using quillon::metadata::ShotInfo;

// Everything one line of the report may draw on; detection results join here.
struct FileReport {
    const ShotInfo& shot;
    const ImageMetadata& metadata;
};

std::string Number(double value) {
    if (value == 0.0) return {};
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.10g", value);
    return buffer;
}

std::string Integer(long long value) { return value == 0 ? std::string() : std::to_string(value); }

std::string Location(std::int64_t location) {
    return location == quillon::metadata::kNoLocation ? std::string() : std::to_string(location);
}

struct Field {
    std::string_view name;
    std::string (*format)(const FileReport&);
};

// One row per reported value, in the order they are printed.
constexpr Field kFields[] = {
    {"make",
     [](const FileReport& r) { return quillon::metadata::MetadataTextToUtf8(r.shot.make); }},
    {"model",
     [](const FileReport& r) { return quillon::metadata::MetadataTextToUtf8(r.shot.model); }},
    {"dateTimeOriginal",
     [](const FileReport& r) {
         return quillon::metadata::MetadataTextToUtf8(r.shot.dateTimeOriginal);
     }},
    {"focalLength", [](const FileReport& r) { return Number(r.shot.focalLength); }},
    {"originalFocalLength", [](const FileReport& r) { return Number(r.shot.originalFocalLength); }},
    {"fNumber", [](const FileReport& r) { return Number(r.shot.fNumber); }},
    {"exposureTime", [](const FileReport& r) { return Number(r.shot.exposureTime); }},
    {"iso", [](const FileReport& r) { return Integer(r.shot.iso); }},
    {"orientation", [](const FileReport& r) { return Integer(r.shot.orientation); }},
    {"orientationLocation",
     [](const FileReport& r) { return Location(r.shot.orientationLocation); }},
    {"minFlen", [](const FileReport& r) { return Number(r.shot.minFlen); }},
    {"maxFlen", [](const FileReport& r) { return Number(r.shot.maxFlen); }},
    {"originalMinFlen", [](const FileReport& r) { return Number(r.shot.originalMinFlen); }},
    {"originalMaxFlen", [](const FileReport& r) { return Number(r.shot.originalMaxFlen); }},
    {"minFlenMaxAper", [](const FileReport& r) { return Number(r.shot.minFlenMaxAper); }},
    {"maxFlenMaxAper", [](const FileReport& r) { return Number(r.shot.maxFlenMaxAper); }},
    {"lensId", [](const FileReport& r) { return Integer(r.shot.lensId); }},
    {"colourSpaceIndex",
     [](const FileReport& r) {
         const std::int32_t index = r.shot.colourSpaceIndex;
         if (index < 0) return std::string();
         return std::to_string(index) + " (" +
                std::string(
                    quillon::metadata::kNamedColourSpaces[static_cast<std::size_t>(index)]) +
                ")";
     }},
    {"makerNote", [](const FileReport& r) { return Location(r.shot.makerNote); }},
    {"makerNoteSize", [](const FileReport& r) { return Integer(r.shot.makerNoteSize); }},
    {"makerNoteBase", [](const FileReport& r) { return Location(r.shot.makerNoteBase); }},
    {"makerNoteLength", [](const FileReport& r) { return Integer(r.shot.makerNoteLength); }},
    {"offsetSchema", [](const FileReport& r) { return Integer(r.shot.offsetSchema); }},
    {"bigEndian",
     [](const FileReport& r) {
         // The byte order belongs to an EXIF block; a TIFF input has none.
         if (r.metadata.exif.empty()) return std::string();
         return std::string(r.shot.bigEndian ? "yes" : "no");
     }},
};

// The reader's messages, each naming the file it is about.
class FileMessageSink final : public quillon::platform::MessageSink {
  public:
    explicit FileMessageSink(std::string_view path) : path_(path) {}
    using MessageSink::Show;
    void Show(std::string_view text, std::string_view) override {
        std::fprintf(stderr, "quillon-info: %s: %.*s\n", path_.c_str(),
                     static_cast<int>(text.size()), text.data());
        shown_ = true;
    }
    bool shown() const { return shown_; }

  private:
    std::string path_;
    bool shown_ = false;
};

void PrintInfoText(const std::string& text) {
    // The information box ends its lines with CR LF; a terminal wants LF.
    std::size_t start = 0;
    for (std::size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
        std::printf("  %s\n", text.substr(start, at - start).c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: quillon-info FILE...\n");
        return 2;
    }
    int status = 0;
    quillon::settings::StringTable texts;
    {
        FileMessageSink sink("strings");
        texts.Allocate();
        quillon::settings::LoadStrings(texts, quillon::settings::kEnglishLangId, sink);
    }
    for (int i = 1; i < argc; ++i) {
        const std::string path = argv[i];
        FileMessageSink sink(path);
        quillon::imageio::CurrentImage image;
        if (quillon::imageio::LoadImageFile(path, image, sink) != 0) {
            // Corrupt data is reported by the decoder's own line on stderr,
            // which does not name the file.
            if (!sink.shown()) sink.Show("cannot be read");
            status = 1;
            continue;
        }
        const ShotInfo shot = quillon::metadata::ParseImageMetadata(image.metadata, {});
        const FileReport report{shot, image.metadata};
        if (i > 1) std::printf("\n");
        std::printf("file: %s\n", path.c_str());
        for (const Field& field : kFields) {
            std::printf("%.*s: %s\n", static_cast<int>(field.name.size()), field.name.data(),
                        field.format(report).c_str());
        }
        std::printf("info:\n");
        PrintInfoText(quillon::metadata::BuildInfoText(shot, {}, texts));
    }
    return status;
}
