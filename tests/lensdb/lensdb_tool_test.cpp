// Runs the quillon-lensdb binary on the shipped source data: building the
// database and dumping it must give the source back, at the single precision
// the file stores numbers in.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/test_support.h"

namespace {

using Json = nlohmann::json;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int RunShell(const std::string& command) { return std::system(command.c_str()); }

std::string SourcePath() {
    // TestDataPath names testdata/<relative>; the lens data lives beside it.
    return quillon::testing::TestDataPath("../data/lensdb/lenses.json");
}

// Numbers are compared as the float the file holds; everything else exactly.
void ExpectSameJson(const Json& expected, const Json& actual, const std::string& where) {
    if (expected.is_number()) {
        ASSERT_TRUE(actual.is_number()) << where;
        EXPECT_EQ(static_cast<float>(expected.get<double>()),
                  static_cast<float>(actual.get<double>()))
            << where;
        return;
    }
    ASSERT_EQ(expected.type(), actual.type()) << where;
    if (expected.is_array()) {
        ASSERT_EQ(expected.size(), actual.size()) << where;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            ExpectSameJson(expected[i], actual[i], where + "[" + std::to_string(i) + "]");
        }
    } else if (expected.is_object()) {
        ASSERT_EQ(expected.size(), actual.size()) << where;
        for (const auto& [key, value] : expected.items()) {
            ASSERT_TRUE(actual.contains(key)) << where << "." << key;
            ExpectSameJson(value, actual[key], where + "." + key);
        }
    } else {
        EXPECT_EQ(expected, actual) << where;
    }
}

TEST(LensDbTool, BuildThenDumpGivesTheShippedSourceBack) {
    quillon::testing::TempDir dir;
    const std::string tool = QUILLON_LENSDB_TOOL;
    const std::string database = dir.File("Quillon.dat");
    const std::string dumped = dir.File("dump.json");
    ASSERT_EQ(RunShell("'" + tool + "' build '" + SourcePath() + "' '" + database + "'"), 0);
    ASSERT_EQ(RunShell("'" + tool + "' dump '" + database + "' > '" + dumped + "'"), 0);

    const Json source = Json::parse(ReadText(SourcePath()));
    const Json dump = Json::parse(ReadText(dumped));
    ASSERT_GT(source.at("cameras").size(), 100u);
    ExpectSameJson(source, dump, "$");

    // Dumping the dump's own build changes nothing: the text is stable.
    const std::string rebuilt = dir.File("rebuilt.dat");
    const std::string redumped = dir.File("redump.json");
    ASSERT_EQ(RunShell("'" + tool + "' build '" + dumped + "' '" + rebuilt + "'"), 0);
    ASSERT_EQ(RunShell("'" + tool + "' dump '" + rebuilt + "' > '" + redumped + "'"), 0);
    EXPECT_EQ(ReadText(dumped), ReadText(redumped));
    EXPECT_EQ(quillon::testing::ReadBytes(database), quillon::testing::ReadBytes(rebuilt));
}

TEST(LensDbTool, DamagedInputIsRefusedWithoutOutput) {
    quillon::testing::TempDir dir;
    const std::string tool = QUILLON_LENSDB_TOOL;
    const std::string json = dir.File("bad.json");
    const std::string database = dir.File("Quillon.dat");
    {
        std::ofstream out(json);
        out << R"({"format": "quillon-lensdb-source 1", "attribution": "", "license": "",
                   "cameras": [], "lenses": [{"group": "g", "name": "n", "converterFactor": 1,
                   "calibrationCrop": 1, "minFlen": 1, "maxFlen": 2, "minFlenMaxAper": 0,
                   "maxFlenMaxAper": 0, "points": []}]})";
    }
    EXPECT_NE(RunShell("'" + tool + "' build '" + json + "' '" + database + "' 2>/dev/null"), 0);
    EXPECT_FALSE(std::ifstream(database).good());

    quillon::testing::WriteBytes(database, {'Q', 'D', 'A', 'T'});
    EXPECT_NE(RunShell("'" + tool + "' dump '" + database + "' >/dev/null 2>&1"), 0);
}

}  // namespace
