#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "metadata/parse_metadata.h"
#include "metadata/shot_info.h"
#include "plugin/host_api.h"

// The document's camera, lens and exposure data. The plug-in has no file: the
// host hands over the document's EXIF block and XMP packet, which go through
// the program's own readers. When the host has no EXIF data, a small text file
// left by another application (the handoff file) can supply the essentials.
//
// The handoff file holds records of one separator character (skipped unread),
// a key, '!', a value and '!', the first at the file's first byte:
//     ;Make!Canon!;Model!Canon EOS 5D!;FocalLength!24.0!
// Keys: Make, Model (texts), FocalLength, FNumber (decimal numbers), LenModel
// (a lens description such as "24-70mm f/2.8"), ExposureTime ("1/250" or
// "2"), ISOSpeed (an integer). Other keys are ignored, and a value that does
// not convert leaves its field as it was. Reading stops at the first record
// without its closing '!'.

namespace quillon::plugin {

// Only this much of the handoff file is read.
inline constexpr std::size_t kHandoffFileBytes = 500;

// ${XDG_CONFIG_HOME:-~/.config}/Velmora/Quillon/exif.dat; empty when no
// configuration folder is known.
std::string HandoffFilePath();

// The file exists and may be read and written (it is deleted after the run).
bool HandoffFileUsable(const std::string& path);

// Applies the records of `text` (its first kHandoffFileBytes bytes, up to
// the first NUL) to `shot`.
void ParseHandoffText(std::span<const std::uint8_t> text, metadata::ShotInfo& shot);

// The handoff file of one run. It is read when a document without EXIF data
// first needs it, and at most once: the dialog reads the document's metadata
// again and gets the same text.
class HandoffFile {
  public:
    // An empty path: there is no handoff file this run.
    explicit HandoffFile(std::string path) : path_(std::move(path)) {}
    // The file's first kHandoffFileBytes bytes; none when it cannot be read.
    std::span<const std::uint8_t> Text();
    bool Present() const { return !path_.empty(); }
    bool Read() const { return text_.has_value(); }

  private:
    std::string path_;
    std::optional<std::vector<std::uint8_t>> text_;
};

// The document's metadata as the detection needs it: the host's EXIF block
// (or, only when the host has none, the handoff file), then the XMP packet,
// then the clean-up and the Detect switches. A host without the procs, or an
// error for either property, leaves the fields cleared.
metadata::ShotInfo ReadHostMetadata(const FilterRecord& record, HandoffFile& handoff,
                                    const metadata::DetectSwitches& detect);

// Larger ICC profiles from a host are not taken.
inline constexpr std::int32_t kMaxHostProfileBytes = 16 << 20;

// The profile the preview converts the document from: a copy of the host's
// ICC profile when the host allows profiles and hands one over, unless the
// document's XMP names sRGB (`shot` as ReadHostMetadata read it). Empty
// otherwise; the preview then takes the built-in profile the XMP names, or
// shows the pixels as sRGB.
std::vector<std::uint8_t> HostSourceProfile(const FilterRecord& record,
                                            const metadata::ShotInfo& shot);

}  // namespace quillon::plugin
