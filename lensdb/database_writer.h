#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"
#include "lensdb/lens_database.h"

// The lens database as plain values, in list order, and its encoding as a
// version 3.90 file. The database tool builds the shipped file from source data
// with it, and tests build the small databases they match against.

namespace quillon::lensdb {

struct SourceCamera {
    std::string menuMake;
    std::string menuModel;
    std::string exifMake;
    std::string exifModel;
    float cropFactor = 1.0f;
    std::vector<std::string> groups;  // in the order the camera accepts them
};

struct SourceLens {
    std::string group;
    std::string name;  // menuLens
    float converterFactor = 1.0f;
    float calibrationCrop = 1.0f;
    float minFlen = 0.0f;
    float maxFlen = 0.0f;
    float minFlenMaxAper = 0.0f;
    float maxFlenMaxAper = 0.0f;
    std::vector<CalibrationPoint> points;  // ascending focal length, at least one
};

struct DatabaseSource {
    std::string format;
    std::string attribution;
    std::string license;
    std::vector<SourceCamera> cameras;
    std::vector<SourceLens> lenses;
};

// Writes `source` as a version 3.90 database: little-endian, one string pool
// holding each distinct text once, and group-link chains shared between cameras
// whose group lists are equal or end alike. On failure (a lens without points
// or with descending ones, a text holding a NUL, a file beyond 2 GiB) `error`
// says why and the status is 1.
Status EncodeDatabase(const DatabaseSource& source, std::vector<std::uint8_t>& out,
                      std::string& error);

// The cameras and lenses of a loaded database in list order, as the lists are
// walked (records that no list reaches are left out).
DatabaseSource DescribeDatabase(const LensDatabase& database);

}  // namespace quillon::lensdb
