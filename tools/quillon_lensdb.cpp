// quillon-lensdb: the lens database compiler.
//
//   quillon-lensdb build lenses.json Quillon.dat   JSON source -> binary database
//   quillon-lensdb dump Quillon.dat                binary database -> JSON on stdout
//
// The dump writes the source layout (one camera or lens per line), so a built
// database can be compared with its source; numbers come back at the single
// precision the file stores.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "lensdb/database_writer.h"
#include "lensdb/lens_database.h"
#include "platform/atomic_file.h"
#include "platform/message_sink.h"
#include "settings/languages.h"
#include "text/string_table.h"

namespace {

using quillon::lensdb::CalibrationPoint;
using quillon::lensdb::DatabaseSource;
using quillon::lensdb::SourceCamera;
using quillon::lensdb::SourceLens;
using Json = nlohmann::json;

constexpr std::string_view kSourceFormat = "quillon-lensdb-source 1";

int Usage() {
    std::cerr << "usage: quillon-lensdb build <lenses.json> <Quillon.dat>\n"
                 "       quillon-lensdb dump <Quillon.dat>\n";
    return 2;
}

float Number(const Json& object, const char* key) {
    const Json& value = object.at(key);
    if (!value.is_number()) throw std::runtime_error(std::string("not a number: ") + key);
    const double d = value.get<double>();
    if (!std::isfinite(d)) throw std::runtime_error(std::string("not a finite number: ") + key);
    return static_cast<float>(d);
}

std::string Text(const Json& object, const char* key) {
    const Json& value = object.at(key);
    if (!value.is_string()) throw std::runtime_error(std::string("not a text: ") + key);
    return value.get<std::string>();
}

DatabaseSource ReadSource(const std::string& jsonText) {
    const Json root = Json::parse(jsonText);
    DatabaseSource source;
    source.format = Text(root, "format");
    if (source.format != kSourceFormat) {
        throw std::runtime_error("unknown source format: " + source.format);
    }
    source.attribution = Text(root, "attribution");
    source.license = Text(root, "license");
    for (const Json& cam : root.at("cameras")) {
        SourceCamera& out = source.cameras.emplace_back();
        out.menuMake = Text(cam, "menuMake");
        out.menuModel = Text(cam, "menuModel");
        out.exifMake = Text(cam, "exifMake");
        out.exifModel = Text(cam, "exifModel");
        out.cropFactor = Number(cam, "cropFactor");
        for (const Json& group : cam.at("groups")) {
            if (!group.is_string()) throw std::runtime_error("group is not a text");
            out.groups.push_back(group.get<std::string>());
        }
    }
    for (const Json& lens : root.at("lenses")) {
        SourceLens& out = source.lenses.emplace_back();
        out.group = Text(lens, "group");
        out.name = Text(lens, "name");
        out.converterFactor = Number(lens, "converterFactor");
        out.calibrationCrop = Number(lens, "calibrationCrop");
        out.minFlen = Number(lens, "minFlen");
        out.maxFlen = Number(lens, "maxFlen");
        out.minFlenMaxAper = Number(lens, "minFlenMaxAper");
        out.maxFlenMaxAper = Number(lens, "maxFlenMaxAper");
        for (const Json& point : lens.at("points")) {
            if (!point.is_array() || point.size() != 4) {
                throw std::runtime_error("a calibration point is not [focal, a, b, c]: " +
                                         out.name);
            }
            CalibrationPoint p;
            float* fields[] = {&p.focal, &p.a, &p.b, &p.c};
            for (std::size_t i = 0; i < 4; ++i) {
                if (!point[i].is_number()) throw std::runtime_error("point value not a number");
                *fields[i] = static_cast<float>(point[i].get<double>());
            }
            out.points.push_back(p);
        }
    }
    return source;
}

// Shortest text that reads back as the same single-precision value. Values the
// source writes as decimals keep a decimal point even when whole ("1.0").
std::string FormatReal(float value, bool keepDecimal) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    std::string text(buffer, result.ptr);
    if (keepDecimal && text.find_first_of(".en") == std::string::npos) text += ".0";
    return text;
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        switch (ch) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (byte < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof(escape), "\\u%04x", byte);
                    out += escape;
                } else {
                    out.push_back(ch);
                }
        }
    }
    out += '"';
    return out;
}

std::string WriteSource(const DatabaseSource& source) {
    std::ostringstream out;
    out << "{\n";
    out << " \"format\": " << Quote(source.format) << ",\n";
    out << " \"attribution\": " << Quote(source.attribution) << ",\n";
    out << " \"license\": " << Quote(source.license) << ",\n";
    out << " \"cameras\": [\n";
    for (std::size_t i = 0; i < source.cameras.size(); ++i) {
        const SourceCamera& cam = source.cameras[i];
        out << "  {\"menuMake\": " << Quote(cam.menuMake)
            << ", \"menuModel\": " << Quote(cam.menuModel)
            << ", \"exifMake\": " << Quote(cam.exifMake)
            << ", \"exifModel\": " << Quote(cam.exifModel)
            << ", \"cropFactor\": " << FormatReal(cam.cropFactor, true) << ", \"groups\": [";
        for (std::size_t g = 0; g < cam.groups.size(); ++g) {
            out << (g ? ", " : "") << Quote(cam.groups[g]);
        }
        out << "]}" << (i + 1 < source.cameras.size() ? "," : "") << "\n";
    }
    out << " ],\n";
    out << " \"lenses\": [\n";
    for (std::size_t i = 0; i < source.lenses.size(); ++i) {
        const SourceLens& lens = source.lenses[i];
        out << "  {\"group\": " << Quote(lens.group) << ", \"name\": " << Quote(lens.name)
            << ", \"converterFactor\": " << FormatReal(lens.converterFactor, true)
            << ", \"calibrationCrop\": " << FormatReal(lens.calibrationCrop, true)
            << ", \"minFlen\": " << FormatReal(lens.minFlen, false)
            << ", \"maxFlen\": " << FormatReal(lens.maxFlen, false)
            << ", \"minFlenMaxAper\": " << FormatReal(lens.minFlenMaxAper, false)
            << ", \"maxFlenMaxAper\": " << FormatReal(lens.maxFlenMaxAper, false)
            << ", \"points\": [";
        for (std::size_t p = 0; p < lens.points.size(); ++p) {
            const CalibrationPoint& point = lens.points[p];
            out << (p ? ", " : "") << "[" << FormatReal(point.focal, false) << ", "
                << FormatReal(point.a, true) << ", " << FormatReal(point.b, true) << ", "
                << FormatReal(point.c, true) << "]";
        }
        out << "]}" << (i + 1 < source.lenses.size() ? "," : "") << "\n";
    }
    out << " ]\n}\n";
    return out.str();
}

int Build(const std::string& jsonPath, const std::string& outPath) {
    std::ifstream in(jsonPath, std::ios::binary);
    if (!in) {
        std::cerr << "quillon-lensdb: cannot open " << jsonPath << "\n";
        return 1;
    }
    const std::string jsonText{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
    DatabaseSource source;
    try {
        source = ReadSource(jsonText);
    } catch (const std::exception& e) {
        std::cerr << "quillon-lensdb: " << jsonPath << ": " << e.what() << "\n";
        return 1;
    }
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!quillon::lensdb::EncodeDatabase(source, bytes, error).ok()) {
        std::cerr << "quillon-lensdb: " << jsonPath << ": " << error << "\n";
        return 1;
    }
    // A build interrupted half-way must not leave a damaged database behind.
    if (!quillon::platform::WriteFileAtomically(outPath, bytes)) {
        std::cerr << "quillon-lensdb: cannot write " << outPath << "\n";
        return 1;
    }
    return 0;
}

int Dump(const std::string& path) {
    // The loader's messages in English: the tool runs at build time, before any
    // language is chosen.
    quillon::text::StringTable texts;
    texts.Allocate();
    quillon::platform::StderrSink sink;
    quillon::text::LoadStrings(texts, quillon::text::kEnglishLangId, sink);
    quillon::lensdb::LensDatabase database;
    if (!quillon::lensdb::LoadDatabaseFile(path, database, texts, sink).ok()) return 1;
    std::cout << WriteSource(quillon::lensdb::DescribeDatabase(database));
    std::cout.flush();
    return std::cout ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string_view command = argv[1];
    if (command == "build" && argc == 4) return Build(argv[2], argv[3]);
    if (command == "dump" && argc == 3) return Dump(argv[2]);
    return Usage();
}
