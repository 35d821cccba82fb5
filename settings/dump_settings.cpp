#include "settings/dump_settings.h"

#include <cstdio>
#include <filesystem>
#include <new>

#include "platform/atomic_file.h"
#include "platform/paths.h"

namespace quillon::settings {

namespace {

// The dump reads names and data into fixed buffers of these sizes; a text's
// data includes its end mark.
constexpr std::size_t kMaxNameChars = 254;
constexpr std::size_t kMaxDataBytes = 255;

}  // namespace

std::string DumpText(const std::vector<platform::StoredValue>& values) {
    std::string out;
    for (const platform::StoredValue& value : values) {
        if (value.name.size() > kMaxNameChars) continue;
        if (value.type == platform::StoredType::kString) {
            if (value.text.size() + 1 > kMaxDataBytes) continue;
            out += '"' + value.name + "\"=\"" + value.text + "\"\r\n";
        } else {
            char digits[16];
            std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value.dword));
            out += '"' + value.name + "\"=dword:" + digits + "\r\n";
        }
    }
    return out;
}

std::vector<std::uint8_t> ScrambleDump(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size());
    for (const char c : text) {
        const unsigned byte = static_cast<unsigned char>(c);
        bytes.push_back(static_cast<std::uint8_t>((byte * 103u + 48u) & 0xffu));
    }
    return bytes;
}

Status DumpSettings(const platform::SettingsStore& user, platform::MessageSink& sink,
                    const std::string& desktopDir) {
    std::error_code error;
    if (desktopDir.empty() || !std::filesystem::is_directory(desktopDir, error)) {
        sink.Show("Unable to access desktop");
        return Status(1);
    }
    const std::string path = platform::JoinPath(desktopDir, kDumpFileName);
    if (!user.IsPresent()) return Status(1);
    try {
        const std::vector<std::uint8_t> bytes = ScrambleDump(DumpText(user.Values()));
        if (!platform::WriteFileAtomically(path, bytes)) {
            sink.Show("Unable to open file " + path);
            return Status(1);
        }
    } catch (const std::bad_alloc&) {
        sink.Show("Unable to open file " + path);
        return Status(1);
    }
    sink.Show("File QuillonDump.dat has been created on your Desktop");
    return Status::Ok();
}

Status DumpSettings(const platform::SettingsStore& user, platform::MessageSink& sink) {
    return DumpSettings(user, sink, platform::UserDesktopDir());
}

}  // namespace quillon::settings
