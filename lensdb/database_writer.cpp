#include "lensdb/database_writer.h"

#include <bit>
#include <limits>
#include <map>
#include <new>
#include <unordered_map>
#include <utility>

namespace quillon::lensdb {

namespace {

class StringPool {
  public:
    std::int32_t Add(const std::string& text) {
        auto [it, inserted] = offsets_.try_emplace(text, static_cast<std::int32_t>(bytes_.size()));
        if (inserted) {
            bytes_.insert(bytes_.end(), text.begin(), text.end());
            bytes_.push_back(0);
        }
        return it->second;
    }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    std::unordered_map<std::string, std::int32_t> offsets_;
    std::vector<std::uint8_t> bytes_;
};

class Output {
  public:
    explicit Output(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    void Word(std::int32_t value) {
        const auto bits = static_cast<std::uint32_t>(value);
        for (int shift = 0; shift < 32; shift += 8) {
            bytes_.push_back(static_cast<std::uint8_t>(bits >> shift));
        }
    }
    void Real(float value) { Word(std::bit_cast<std::int32_t>(value)); }
    void Zeros(int words) {
        for (int i = 0; i < words; ++i) Word(0);
    }
    void PutWord(std::size_t at, std::int32_t value) {
        const auto bits = static_cast<std::uint32_t>(value);
        for (std::size_t i = 0; i < 4; ++i) {
            bytes_[at + i] = static_cast<std::uint8_t>(bits >> (8 * i));
        }
    }
    std::int32_t Position() const { return static_cast<std::int32_t>(bytes_.size()); }

  private:
    std::vector<std::uint8_t>& bytes_;
};

bool HasNul(const std::string& text) { return text.find('\0') != std::string::npos; }

std::string Check(const DatabaseSource& source) {
    auto textError = [](const std::string& text) {
        return HasNul(text) ? "a text holds a NUL character: " + text : std::string();
    };
    for (const std::string* t : {&source.format, &source.attribution, &source.license}) {
        if (std::string e = textError(*t); !e.empty()) return e;
    }
    for (const SourceCamera& cam : source.cameras) {
        for (const std::string* t :
             {&cam.menuMake, &cam.menuModel, &cam.exifMake, &cam.exifModel}) {
            if (std::string e = textError(*t); !e.empty()) return e;
        }
        for (const std::string& g : cam.groups) {
            if (std::string e = textError(g); !e.empty()) return e;
        }
    }
    for (const SourceLens& lens : source.lenses) {
        if (std::string e = textError(lens.group); !e.empty()) return e;
        if (std::string e = textError(lens.name); !e.empty()) return e;
        if (lens.points.empty()) return "lens without calibration points: " + lens.name;
        for (std::size_t i = 1; i < lens.points.size(); ++i) {
            if (!(lens.points[i].focal > lens.points[i - 1].focal)) {
                return "calibration points not in ascending focal length: " + lens.name;
            }
        }
    }
    return {};
}

}  // namespace

Status EncodeDatabase(const DatabaseSource& source, std::vector<std::uint8_t>& out,
                      std::string& error) {
    error = Check(source);
    if (!error.empty()) return Status(1);

    // Every count and offset is a signed 32-bit word; a bound on the record
    // counts keeps each table size computation below far from overflow.
    std::size_t pointCount = 0;
    for (const SourceLens& lens : source.lenses) pointCount += lens.points.size();
    constexpr std::size_t kMaxRecords = 1u << 24;
    if (source.cameras.size() > kMaxRecords || source.lenses.size() > kMaxRecords ||
        pointCount > kMaxRecords) {
        error = "too many records for the file format";
        return Status(1);
    }

    try {
        StringPool pool;
        const std::int32_t formatText = pool.Add(source.format);
        const std::int32_t attributionText = pool.Add(source.attribution);
        const std::int32_t licenseText = pool.Add(source.license);

        // Chains are built from their ends, so a (group, rest of chain) pair that
        // occurs twice is stored once: equal lists share the whole chain and
        // lists that end alike share their tails.
        struct Link {
            std::int32_t next;
            std::int32_t group;
        };
        std::vector<Link> links;
        std::map<std::pair<std::string, std::int32_t>, std::int32_t> linkIndex;
        std::vector<std::int32_t> cameraChains;
        cameraChains.reserve(source.cameras.size());
        for (const SourceCamera& cam : source.cameras) {
            std::int32_t head = -1;
            for (auto g = cam.groups.rbegin(); g != cam.groups.rend(); ++g) {
                auto [it, inserted] = linkIndex.try_emplace(
                    std::make_pair(*g, head), static_cast<std::int32_t>(links.size()));
                if (inserted) links.push_back({head, pool.Add(*g)});
                head = it->second;
            }
            cameraChains.push_back(head);
        }

        struct CameraTexts {
            std::int32_t menuMake, menuModel, exifMake, exifModel;
        };
        std::vector<CameraTexts> cameraTexts;
        for (const SourceCamera& cam : source.cameras) {
            cameraTexts.push_back({pool.Add(cam.menuMake), pool.Add(cam.menuModel),
                                   pool.Add(cam.exifMake), pool.Add(cam.exifModel)});
        }
        std::vector<std::pair<std::int32_t, std::int32_t>> lensTexts;
        for (const SourceLens& lens : source.lenses) {
            lensTexts.emplace_back(pool.Add(lens.group), pool.Add(lens.name));
        }

        const std::uint64_t total = kHeaderSize +
                                    source.cameras.size() * (kCameraRecordSize + kCameraLinkSize) +
                                    links.size() * kGroupLinkSize +
                                    source.lenses.size() * (kLensRecordSize + kLensLinkSize) +
                                    pointCount * kCalibrationPointSize + pool.bytes().size();
        if (total > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
            error = "database larger than the file format allows";
            return Status(1);
        }

        out.clear();
        out.reserve(static_cast<std::size_t>(total));
        Output w(out);
        w.Zeros(kHeaderSize / 4);
        const auto count = [](std::size_t n) { return static_cast<std::int32_t>(n); };
        const auto next = [](std::size_t i, std::size_t n) {
            return i + 1 < n ? static_cast<std::int32_t>(i + 1) : -1;
        };

        const std::int32_t cameraTable = w.Position();
        for (const SourceCamera& cam : source.cameras) {
            w.Zeros(9);  // unused words, menu positions (recomputed), unused words
            w.Word(0);   // reserved
            w.Word(0);   // standard-lens flag (recomputed)
            w.Real(cam.cropFactor);
        }
        const std::int32_t cameraLinks = w.Position();
        for (std::size_t i = 0; i < source.cameras.size(); ++i) {
            w.Word(next(i, source.cameras.size()));
            w.Word(cameraChains[i]);
            w.Word(cameraTexts[i].menuMake);
            w.Word(cameraTexts[i].menuModel);
            w.Word(cameraTexts[i].exifMake);
            w.Word(cameraTexts[i].exifModel);
        }
        const std::int32_t groupLinks = w.Position();
        for (const Link& link : links) {
            w.Word(link.next);
            w.Word(link.group);
        }
        const std::int32_t lensTable = w.Position();
        std::int32_t firstPoint = 0;
        for (const SourceLens& lens : source.lenses) {
            w.Zeros(5);  // unused words and the menu position (recomputed)
            w.Real(lens.converterFactor);
            w.Word(0);  // reserved
            w.Word(firstPoint);
            w.Word(firstPoint + count(lens.points.size()) - 1);
            w.Real(lens.calibrationCrop);
            w.Real(lens.minFlenMaxAper);
            w.Real(lens.maxFlenMaxAper);
            w.Real(lens.minFlen);
            w.Real(lens.maxFlen);
            w.Word(0);  // reserved
            firstPoint += count(lens.points.size());
        }
        const std::int32_t lensLinks = w.Position();
        for (std::size_t i = 0; i < source.lenses.size(); ++i) {
            w.Word(next(i, source.lenses.size()));
            w.Word(lensTexts[i].first);
            w.Word(lensTexts[i].second);
        }
        const std::int32_t pointTable = w.Position();
        for (const SourceLens& lens : source.lenses) {
            for (const CalibrationPoint& p : lens.points) {
                w.Real(p.focal);
                w.Real(p.a);
                w.Real(p.b);
                w.Real(p.c);
            }
        }
        const std::int32_t poolOffset = w.Position();
        out.insert(out.end(), pool.bytes().begin(), pool.bytes().end());

        out[0] = 'Q';
        out[1] = 'D';
        out[2] = 'A';
        out[3] = 'T';
        w.PutWord(4, kMajorVersion);
        w.PutWord(8, kMinorVersion);
        w.PutWord(12, poolOffset);
        w.PutWord(16, count(pool.bytes().size()));
        w.PutWord(20, count(pointCount));
        w.PutWord(24, count(source.cameras.size()));
        w.PutWord(28, count(links.size()));
        w.PutWord(32, pointTable);
        w.PutWord(36, cameraTable);
        w.PutWord(44, cameraLinks);
        w.PutWord(48, groupLinks);
        w.PutWord(52, count(source.lenses.size()));
        w.PutWord(56, lensTable);
        w.PutWord(60, lensLinks);
        w.PutWord(64, kCoefficientOrderAbc);
        w.PutWord(68, formatText);
        w.PutWord(72, attributionText);
        w.PutWord(76, licenseText);
    } catch (const std::bad_alloc&) {
        error = "out of memory";
        return Status(1);
    }
    return Status::Ok();
}

DatabaseSource DescribeDatabase(const LensDatabase& database) {
    DatabaseSource source;
    source.format = database.sourceFormat ? database.sourceFormat : "";
    source.attribution = database.attribution ? database.attribution : "";
    source.license = database.license ? database.license : "";
    for (const CameraEntry* cam = database.CameraListHead(); cam != nullptr; cam = cam->next) {
        SourceCamera& out = source.cameras.emplace_back();
        out.menuMake = cam->menuMake;
        out.menuModel = cam->menuModel;
        out.exifMake = cam->exifMake;
        out.exifModel = cam->exifModel;
        out.cropFactor = cam->cropFactor;
        for (const GroupLink* g = cam->groups; g != nullptr; g = g->next) {
            out.groups.emplace_back(g->group);
        }
    }
    for (const LensEntry* lens = database.LensListHead(); lens != nullptr; lens = lens->next) {
        SourceLens& out = source.lenses.emplace_back();
        out.group = lens->group;
        out.name = lens->menuLens;
        out.converterFactor = lens->converterFactor;
        out.calibrationCrop = lens->calibrationCrop;
        out.minFlen = lens->minFlen;
        out.maxFlen = lens->maxFlen;
        out.minFlenMaxAper = lens->minFlenMaxAper;
        out.maxFlenMaxAper = lens->maxFlenMaxAper;
        const auto points = database.PointsOf(*lens);
        out.points.assign(points.begin(), points.end());
    }
    return source;
}

}  // namespace quillon::lensdb
