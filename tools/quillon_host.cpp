// quillon-host: the reference host of the filter plug-in. Loads a plug-in,
// opens a photo as its document and runs the filter on it as an image editor
// would, then writes the result with the photo's metadata.
//
//   quillon-host [options] PLUGIN INPUT [OUTPUT]
//   quillon-host --about PLUGIN
//
// Without OUTPUT the filter runs and nothing is written. The exit status is 0
// when the filter's result is 0, and 1 otherwise.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_sink.h"
#include "tools/host/document.h"
#include "tools/host/filter_host.h"
#include "tools/host/plugin_library.h"

namespace {

using namespace quillon;

constexpr const char* kUsage =
    "usage: quillon-host [options] PLUGIN INPUT [OUTPUT]\n"
    "       quillon-host --about PLUGIN\n"
    "Runs the filter PLUGIN (Quillon64.so or Quillon32.so) on the JPEG or TIFF photo INPUT\n"
    "and writes the result to OUTPUT (its suffix chooses the format) with INPUT's metadata.\n"
    "  --select X,Y,W,H   filter with a selection of W x H pixels at X,Y\n"
    "  --dialog           ask the filter to show its dialog\n"
    "  --parameters       set the filter up first (as its menu item with an ellipsis does)\n"
    "  --play FILE        apply the parameters recorded in FILE\n"
    "  --record FILE      write the parameters the filter hands back to FILE\n"
    "  --no-descriptors   act as a host that cannot record or play filter steps\n"
    "  --no-buffers       act as a host that offers no buffer memory\n"
    "  --fail-advance N[:CODE]  fail the N-th pixel request (with CODE, default -1)\n"
    "  --fail-alloc N     fail the N-th buffer allocation\n"
    "  --quality Q        JPEG quality of OUTPUT (default 90)\n"
    "  --trace            print every pixel request\n"
    "  --time             print the time the filter took\n";

bool ReadFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream out;
    out << in.rdbuf();
    text = out.str();
    return true;
}

bool ParseInt(std::string_view text, int& value) {
    const std::string copy(text);
    char* end = nullptr;
    const long v = std::strtol(copy.c_str(), &end, 10);
    if (copy.empty() || *end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

bool ParseSelection(std::string_view text, FilterRect16& rect) {
    int values[4];
    for (int i = 0; i < 4; ++i) {
        const std::size_t comma = i < 3 ? text.find(',') : text.size();
        if (comma == std::string_view::npos || !ParseInt(text.substr(0, comma), values[i])) {
            return false;
        }
        text.remove_prefix(i < 3 ? comma + 1 : text.size());
    }
    const auto [x, y, w, h] = values;
    if (x < 0 || y < 0 || w <= 0 || h <= 0 || x + w > 32767 || y + h > 32767) return false;
    rect = {static_cast<std::int16_t>(y), static_cast<std::int16_t>(x),
            static_cast<std::int16_t>(y + h), static_cast<std::int16_t>(x + w)};
    return true;
}

std::string RectText(const FilterRect16& r) {
    return std::to_string(r.top) + "," + std::to_string(r.left) + "," + std::to_string(r.bottom) +
           "," + std::to_string(r.right);
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    host::HostOptions options;
    std::vector<std::string> paths;
    std::string playPath;
    std::string recordPath;
    bool about = false;
    bool trace = false;
    bool timing = false;
    int quality = 90;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--about") {
            about = true;
        } else if (arg == "--dialog") {
            options.askForDialog = true;
        } else if (arg == "--parameters") {
            options.requestParameters = true;
        } else if (arg == "--no-descriptors") {
            options.descriptorProcs = false;
        } else if (arg == "--no-buffers") {
            options.bufferProcs = false;
        } else if (arg == "--trace") {
            trace = true;
        } else if (arg == "--time") {
            timing = true;
        } else if (arg == "--select" && hasValue) {
            FilterRect16 rect{};
            if (!ParseSelection(argv[++i], rect)) return Fail("quillon-host: bad selection");
            options.selection = rect;
        } else if (arg == "--play" && hasValue) {
            playPath = argv[++i];
        } else if (arg == "--record" && hasValue) {
            recordPath = argv[++i];
        } else if (arg == "--fail-advance" && hasValue) {
            const std::string_view value = argv[++i];
            const std::size_t colon = value.find(':');
            int code = options.advanceFailureCode;
            if (!ParseInt(value.substr(0, colon), options.failAdvanceCall) ||
                (colon != std::string_view::npos && !ParseInt(value.substr(colon + 1), code)) ||
                code == 0 || code < INT16_MIN || code > INT16_MAX) {
                return Fail("quillon-host: bad --fail-advance");
            }
            options.advanceFailureCode = static_cast<FilterError>(code);
        } else if (arg == "--fail-alloc" && hasValue) {
            if (!ParseInt(argv[++i], options.failAllocation)) {
                return Fail("quillon-host: bad --fail-alloc");
            }
        } else if (arg == "--quality" && hasValue) {
            if (!ParseInt(argv[++i], quality)) return Fail("quillon-host: bad --quality");
        } else if (arg.starts_with("--")) {
            return Fail(std::string("quillon-host: unknown option ") + argv[i] + "\n" + kUsage);
        } else {
            paths.emplace_back(arg);
        }
    }
    if (paths.empty() || (about ? paths.size() != 1 : paths.size() < 2 || paths.size() > 3)) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    host::PluginLibrary plugin;
    std::string error;
    if (!plugin.Load(paths[0], error)) return Fail("quillon-host: " + error);
    std::printf("menu: %s\n", plugin.MenuEntry().c_str());
    if (about) {
        const std::int16_t result = host::RunAbout(plugin, 0);
        std::printf("result: %d\n", result);
        return result == 0 ? 0 : 1;
    }

    platform::StderrSink sink;
    host::Document document;
    if (!host::OpenDocument(paths[1], document, sink)) return 2;
    if (!host::PluginEnabledFor(plugin.info(), document.depth, document.width, document.height)) {
        return Fail("quillon-host: the filter is not enabled for this document");
    }
    if (!playPath.empty()) {
        std::string text;
        if (!ReadFile(playPath, text)) return Fail("quillon-host: cannot read " + playPath);
        options.play = host::ParseDescriptor(text);
        if (!options.play) return Fail("quillon-host: " + playPath + " is no parameter file");
    }

    const host::HostReport report = host::RunFilter(plugin, document, options);
    if (trace) {
        for (const host::TransferRequest& r : report.requests) {
            std::printf("%s %s plane %d\n", r.input ? "in " : "out", RectText(r.rect).c_str(),
                        r.plane);
        }
    }
    std::printf("result: %d\n", report.result);
    if (timing) std::printf("time: %.0f ms\n", report.startSeconds * 1000.0);
    if (report.buffersHeld != 0 || report.handlesHeld != 0 || report.badReleases != 0) {
        std::printf("leaks: %d buffers, %d handles, %d bad releases\n", report.buffersHeld,
                    report.handlesHeld, report.badReleases);
    }
    if (report.offThreadCalls != 0) {
        std::printf("misuse: %d calls from another thread\n", report.offThreadCalls);
    }
    if (report.result != 0) return 1;

    if (!recordPath.empty() && report.recorded) {
        std::ofstream out(recordPath, std::ios::binary | std::ios::trunc);
        out << host::FormatDescriptor(*report.recorded);
        if (!out) return Fail("quillon-host: cannot write " + recordPath);
    }
    if (paths.size() == 3 && !host::SaveDocument(document, paths[2], quality, sink)) return 2;
    return 0;
}
