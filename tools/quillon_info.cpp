// quillon-info FILE...
//
// Shows what the program reads from photos: for each file the values of its
// ShotInfo, one "name: value" line each (empty where the photo has none), the
// camera and lens detection with the scores of the lens-name comparison and
// why a lens was or was not chosen, then the information text as the main
// window shows it. A file that cannot be read gives the reader's message on
// stderr and makes the exit status 1.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/app_state.h"
#include "app/photo_detection.h"
#include "app/startup.h"
#include "imageio/image_file.h"
#include "lensdb/lens_matching.h"
#include "metadata/info_text.h"
#include "metadata/lens_name.h"
#include "metadata/parse_metadata.h"
#include "metadata/shot_info.h"
#include "metadata/xmp_reader.h"
#include "platform/message_sink.h"
#include "platform/settings_store.h"
#include "settings/language_dialog.h"
#include "settings/languages.h"
#include "settings/settings_location.h"
#include "text/string_table.h"

namespace {

using quillon::ImageMetadata;
using quillon::metadata::ShotInfo;

// Everything one line of the report may draw on.
struct FileReport {
    const ShotInfo& shot;
    const ImageMetadata& metadata;
    // Null when the lens database could not be loaded.
    const quillon::lensdb::LensSelection* selection = nullptr;
    std::string detectionMessage;
};

std::string Float(float value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.6g", static_cast<double>(value));
    return buffer;
}

std::string Candidates(const quillon::lensdb::LensSelection& selection) {
    std::string out;
    for (const auto* camera = selection.candidates; camera != nullptr;
         camera = camera->candidateNext) {
        if (!out.empty()) out += "; ";
        out += std::string(camera->menuMake) + " / " + camera->menuModel;
    }
    return out;
}

std::string Lines(const quillon::lensdb::SelectionMenu& menu) {
    std::string out;
    for (std::size_t i = 0; i < menu.lines.size(); ++i) {
        if (i > 0) out += "; ";
        if (static_cast<int>(i) == menu.selected) out += "*";
        out += menu.lines[i];
    }
    return out;
}

std::string Utf8(const std::string& metadataText) {
    return quillon::metadata::MetadataTextToUtf8(metadataText);
}

std::string_view SourceName(quillon::metadata::LensNameSource source) {
    using quillon::metadata::LensNameSource;
    switch (source) {
        case LensNameSource::kExifLensModel:
            return "EXIF LensModel";
        case LensNameSource::kMakerNote:
            return "maker note";
        case LensNameSource::kXmpLensModel:
            return "XMP exifEX:LensModel";
        case LensNameSource::kXmpLens:
            return "XMP aux:Lens";
        case LensNameSource::kNone:
            break;
    }
    return {};
}

std::string LensName(const FileReport& r) {
    const auto name = quillon::metadata::PhotoLensNameOf(r.shot.lensNames);
    if (name.source == quillon::metadata::LensNameSource::kNone) return {};
    return Utf8(std::string(name.text)) + " (" + std::string(SourceName(name.source)) + ")";
}

// "Canon EF-S 18-55mm f/3.5-5.6 IS II = 7/7, 1 extra": the photo's words the
// lens name has, of those compared, and its words the photo does not give.
std::string NameScores(const quillon::lensdb::LensNameComparison& comparison) {
    std::string out;
    for (const auto& score : comparison.scores) {
        if (!out.empty()) out += "; ";
        out += std::string(score.lens->menuLens) + " = ";
        if (!score.focalsAndAperturesAgree) {
            out += "focal lengths or apertures differ";
            continue;
        }
        out += std::to_string(score.matched) + "/" + std::to_string(comparison.photoWords) + ", " +
               std::to_string(score.extra) + " extra";
        if (!score.fits) out += ", too few";
    }
    return out;
}

std::string TiedNames(const quillon::lensdb::LensNameComparison& comparison) {
    std::string out;
    for (const auto& score : comparison.scores) {
        if (!score.best) continue;
        if (!out.empty()) out += ", ";
        out += score.lens->menuLens;
    }
    return out;
}

std::string WhyLens(const quillon::lensdb::LensSelection& s) {
    using quillon::lensdb::LensChoice;
    using quillon::lensdb::LensNameOutcome;
    switch (s.lensChoice) {
        case LensChoice::kHistory:
            return "chosen by the lens history";
        case LensChoice::kStandardLens:
            return "the camera's built-in lens";
        case LensChoice::kOnlyLens:
            return "the only lens that fits";
        case LensChoice::kName:
            return "chosen by its name, ahead of every other listed lens";
        case LensChoice::kUser:
            return "chosen by hand";
        case LensChoice::kNone:
            break;
    }
    switch (s.nameComparison.outcome) {
        case LensNameOutcome::kNoName:
            return "not chosen: the photo gives no lens name";
        case LensNameOutcome::kNumbersOnly:
            return "not chosen: the lens name gives nothing but focal lengths and apertures";
        case LensNameOutcome::kNoFit:
            return "not chosen: the lens name fits no listed lens";
        case LensNameOutcome::kTie:
            return "not chosen: the lens name fits equally well " + TiedNames(s.nameComparison);
        case LensNameOutcome::kChosen:
        case LensNameOutcome::kNotCompared:
            break;
    }
    return {};
}

// Rows about the detection; empty values when the database is not available.
template <std::string (*Format)(const FileReport&, const quillon::lensdb::LensSelection&)>
std::string Detected(const FileReport& r) {
    return r.selection == nullptr ? std::string() : Format(r, *r.selection);
}

std::string Coefficient(const quillon::lensdb::LensSelection& s, float value) {
    return s.coefficientsValid ? Float(value) : std::string();
}

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
    {"make", [](const FileReport& r) { return Utf8(r.shot.make); }},
    {"model", [](const FileReport& r) { return Utf8(r.shot.model); }},
    {"dateTimeOriginal", [](const FileReport& r) { return Utf8(r.shot.dateTimeOriginal); }},
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
    {"exifLensMake", [](const FileReport& r) { return Utf8(r.shot.lensNames.exifLensMake); }},
    {"exifLensModel", [](const FileReport& r) { return Utf8(r.shot.lensNames.exifLensModel); }},
    {"makerNoteLensModel",
     [](const FileReport& r) { return Utf8(r.shot.lensNames.makerNoteModel); }},
    {"xmpLensModel", [](const FileReport& r) { return Utf8(r.shot.lensNames.xmpLensModel); }},
    {"xmpLens", [](const FileReport& r) { return Utf8(r.shot.lensNames.xmpLens); }},
    {"lensName", LensName},
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
    {"candidateCameras", Detected<[](const FileReport&, const quillon::lensdb::LensSelection& s) {
         return Candidates(s);
     }>},
    {"camera", Detected<[](const FileReport&, const quillon::lensdb::LensSelection& s) {
         if (s.selectedCamera == nullptr) return std::string();
         return std::string(s.selectedCamera->menuMake) + " / " + s.selectedCamera->menuModel;
     }>},
    {"lensMenu", Detected<[](const FileReport&, const quillon::lensdb::LensSelection& s) {
         return Lines(s.lensMenuLines);
     }>},
    {"lens", Detected<[](const FileReport&, const quillon::lensdb::LensSelection& s) {
         return s.IsRealLensSelected() ? std::string(s.selectedLens->menuLens) : std::string();
     }>},
    {"lensNameScores", Detected<[](const FileReport&, const quillon::lensdb::LensSelection& s) {
         return NameScores(s.nameComparison);
     }>},
    {"lensChoice", Detected<[](const FileReport&, const quillon::lensdb::LensSelection& s) {
         return WhyLens(s);
     }>},
    {"focalInUse", Detected<[](const FileReport&, const quillon::lensdb::LensSelection& s) {
         return s.focalInUse == 0.0f ? std::string() : Float(s.focalInUse);
     }>},
    {"a", Detected<[](const FileReport&, const quillon::lensdb::LensSelection& s) {
         return Coefficient(s, s.lensModel.a);
     }>},
    {"b", Detected<[](const FileReport&, const quillon::lensdb::LensSelection& s) {
         return Coefficient(s, s.lensModel.b);
     }>},
    {"c", Detected<[](const FileReport&, const quillon::lensdb::LensSelection& s) {
         return Coefficient(s, s.lensModel.c);
     }>},
    {"d", Detected<[](const FileReport&, const quillon::lensdb::LensSelection& s) {
         return Coefficient(s, s.lensModel.d);
     }>},
    {"detection", [](const FileReport& r) { return r.detectionMessage; }},
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
    using namespace quillon;
    if (argc < 2) {
        std::fprintf(stderr, "usage: quillon-info FILE...\n");
        return 2;
    }
    // The tool sees what the program sees: the same settings, language and lens
    // database. It never writes the settings.
    FileMessageSink startSink("start-up");
    settings::UserSettings user;
    platform::SettingsStore& userStore = user.Store();
    const platform::FileSettingsStore machineStore(settings::MachineSettingsPath());
    settings::NoDisplayLanguagePrompt languagePrompt;
    app::StderrBusyIndicator busy;
    const app::ProgramEnvironment env{startSink, userStore, machineStore, languagePrompt, busy, {}};
    auto state = std::make_unique<app::AppState>();
    const bool haveDatabase = app::LoadRunData(*state, env).ok();
    if (!state->session.strings.IsAllocated() || state->session.strings.LoadedLanguageId() < 0) {
        state->session.strings.Allocate();
        text::LoadStrings(state->session.strings, text::kEnglishLangId, startSink);
    }

    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string path = argv[i];
        FileMessageSink sink(path);
        app::ImageState& current = state->current;
        current.selection.Clear();
        // Only the metadata: the pixels are never needed here, and a file
        // declaring a huge image must not cost its size in memory.
        if (!imageio::LoadImageMetadata(path, current.image, sink).ok()) {
            // Corrupt data is reported by the decoder's own line on stderr,
            // which does not name the file.
            if (!sink.shown()) sink.Show("cannot be read");
            status = 1;
            continue;
        }
        app::ReadShotInfo(*state);
        FileReport report{current.shot, current.image.metadata, nullptr, {}};
        if (haveDatabase) {
            // As the main window would: menus filled, the full detection messages.
            const app::PhotoMatch match(*state, /*invertMode=*/false, /*withWindow=*/true);
            lensdb::Detect(match.context(), current.selection);
            if (current.selection.IsRealLensSelected()) {
                (void)lensdb::ComputeCoefficients(match.context(), current.selection);
            }
            report.selection = &current.selection;
            report.detectionMessage = lensdb::DetectionText(match.context(), current.selection);
            while (!report.detectionMessage.empty() && (report.detectionMessage.back() == '\n' ||
                                                        report.detectionMessage.back() == '\r')) {
                report.detectionMessage.pop_back();
            }
            for (char& c : report.detectionMessage) {
                if (c == '\r' || c == '\n') c = ' ';
            }
        }
        if (i > 1) std::printf("\n");
        std::printf("file: %s\n", path.c_str());
        for (const Field& field : kFields) {
            std::printf("%.*s: %s\n", static_cast<int>(field.name.size()), field.name.data(),
                        field.format(report).c_str());
        }
        std::printf("info:\n");
        PrintInfoText(metadata::BuildInfoText(
            current.shot, lensdb::InfoContextOf(current.selection), state->session.strings));
    }
    return status;
}
