#include "lensdb/lens_database.h"

#include <bit>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <optional>

#include "base/byte_reader.h"
#include "platform/paths.h"
#include "text/memory_messages.h"
#include "text/messages.h"

namespace quillon::lensdb {

namespace {

// Header word offsets.
constexpr std::uint64_t kOffMajor = 4;
constexpr std::uint64_t kOffMinor = 8;
constexpr std::uint64_t kOffPoolOffset = 12;
constexpr std::uint64_t kOffPoolSize = 16;
constexpr std::uint64_t kOffPointCount = 20;
constexpr std::uint64_t kOffCameraCount = 24;
constexpr std::uint64_t kOffGroupLinkCount = 28;
constexpr std::uint64_t kOffPointTable = 32;
constexpr std::uint64_t kOffCameraTable = 36;
constexpr std::uint64_t kOffCameraLinks = 44;
constexpr std::uint64_t kOffGroupLinks = 48;
constexpr std::uint64_t kOffLensCount = 52;
constexpr std::uint64_t kOffLensTable = 56;
constexpr std::uint64_t kOffLensLinks = 60;
constexpr std::uint64_t kOffOrder = 64;
constexpr std::uint64_t kOffFormatText = 68;
constexpr std::uint64_t kOffAttributionText = 72;
constexpr std::uint64_t kOffLicenseText = 76;

// A file this large is not a lens database; refusing it early keeps a damaged
// or hostile file from claiming the machine's memory.
constexpr std::uint64_t kMaxFileBytes = 512ull * 1024 * 1024;

constexpr std::string_view kReinstall = "Please re-install Quillon";

class Loader {
  public:
    Loader(std::span<const std::uint8_t> bytes, const platform::TextSource& texts,
           platform::MessageSink& sink)
        : file_(bytes), texts_(texts), sink_(sink) {}

    Status Run(LensDatabase& db);

  private:
    // Failure with message 15 and `code`; always answers status 1.
    Status Invalid(int code) {
        text::ShowString(sink_, texts_, kMsgInvalidFile, kDatabaseFileName, code);
        return Status(1);
    }

    std::int32_t Word(std::uint64_t offset) const { return file_.I32(offset).value_or(0); }
    float Real(std::uint64_t offset) const {
        return std::bit_cast<float>(file_.U32(offset).value_or(0));
    }

    // A table of `count` records of `recordSize` bytes at `offset`: 0 when it lies
    // inside the file, else the failure code a seek or read would have met.
    int CheckTable(std::int32_t offset, std::int32_t count, std::uint32_t recordSize) const {
        if (offset < 0) return kCodeSeekFailed;
        if (count < 0) return kCodeBadStructure;
        const std::uint64_t bytes = static_cast<std::uint64_t>(count) * recordSize;
        return file_.Fits(static_cast<std::uint64_t>(offset), bytes) ? 0 : kCodeShortRead;
    }

    // The pool text at `offset`, or null when the offset is outside the pool or
    // no NUL ends the text inside it.
    const char* PoolText(const LensDatabase& db, std::int32_t offset) const {
        if (offset < 0 || static_cast<std::uint64_t>(offset) > lastNul_ || db.stringPool.empty()) {
            return nullptr;
        }
        return db.stringPool.data() + offset;
    }

    ByteReader file_;
    const platform::TextSource& texts_;
    platform::MessageSink& sink_;
    std::uint64_t lastNul_ = 0;  // position of the pool's last NUL
};

// Index `link` of a table of `count` records: null for any negative value (the
// list ends), false when it points past the table.
template <typename T>
bool Resolve(std::int32_t link, std::vector<T>& table, T*& out) {
    if (link < 0) {
        out = nullptr;
        return true;
    }
    if (static_cast<std::size_t>(link) >= table.size()) return false;
    out = &table[static_cast<std::size_t>(link)];
    return true;
}

// True when following `next` from any record of `table` ends. The links form a
// graph where each record has at most one successor, so one pass that colours
// records as "on the current path" or "known to end" finds every loop in linear
// time, also loops that no list head reaches.
template <typename T>
bool AllChainsEnd(const std::vector<T>& table) {
    enum : std::uint8_t { kUnseen, kOnPath, kEnds };
    std::vector<std::uint8_t> state(table.size(), kUnseen);
    const T* base = table.data();
    auto indexOf = [base](const T* record) { return static_cast<std::size_t>(record - base); };
    for (std::size_t start = 0; start < table.size(); ++start) {
        if (state[start] != kUnseen) continue;
        for (std::size_t i = start;;) {
            state[i] = kOnPath;
            if (table[i].next == nullptr) break;
            const std::size_t j = indexOf(table[i].next);
            if (state[j] == kOnPath) return false;
            if (state[j] == kEnds) break;
            i = j;
        }
        for (std::size_t i = start; state[i] == kOnPath;) {
            state[i] = kEnds;
            if (table[i].next == nullptr) break;
            i = indexOf(table[i].next);
        }
    }
    return true;
}

Status Loader::Run(LensDatabase& db) {
    if (file_.size() < kHeaderSize) return Invalid(kCodeShortRead);
    static constexpr char kMagic[4] = {'Q', 'D', 'A', 'T'};
    for (std::uint64_t i = 0; i < 4; ++i) {
        if (file_.U8(i).value_or(0) != static_cast<std::uint8_t>(kMagic[i])) {
            return Invalid(kCodeBadMagic);
        }
    }
    const std::int32_t major = Word(kOffMajor);
    const std::int32_t minor = Word(kOffMinor);
    if (major != kMajorVersion || minor != kMinorVersion) {
        text::ShowString(sink_, texts_, kMsgWrongVersion, kMajorVersion, kMinorVersion, major,
                         minor);
        sink_.Show(kReinstall);
        return Status(1);
    }

    const std::int32_t cameraCount = Word(kOffCameraCount);
    const std::int32_t lensCount = Word(kOffLensCount);
    const std::int32_t groupLinkCount = Word(kOffGroupLinkCount);
    const std::int32_t pointCount = Word(kOffPointCount);
    const std::int32_t poolSize = Word(kOffPoolSize);
    const std::int32_t cameraTable = Word(kOffCameraTable);
    const std::int32_t lensTable = Word(kOffLensTable);
    const std::int32_t poolOffset = Word(kOffPoolOffset);
    const std::int32_t pointTable = Word(kOffPointTable);
    const std::int32_t cameraLinks = Word(kOffCameraLinks);
    const std::int32_t groupLinks = Word(kOffGroupLinks);
    const std::int32_t lensLinks = Word(kOffLensLinks);

    // The tables in the order they are read.
    const int tableCodes[] = {
        CheckTable(cameraTable, cameraCount, kCameraRecordSize),
        CheckTable(lensTable, lensCount, kLensRecordSize),
        CheckTable(poolOffset, poolSize, 1),
        CheckTable(pointTable, pointCount, kCalibrationPointSize),
        CheckTable(cameraLinks, cameraCount, kCameraLinkSize),
        CheckTable(groupLinks, groupLinkCount, kGroupLinkSize),
        CheckTable(lensLinks, lensCount, kLensLinkSize),
    };
    for (int code : tableCodes) {
        if (code != 0) return Invalid(code);
    }
    // Another coefficient order would make every correction wrong without a
    // sign of it; no reader of this format knows any other order.
    if (Word(kOffOrder) != kCoefficientOrderAbc) return Invalid(kCodeBadStructure);

    try {
        db.cameras.assign(static_cast<std::size_t>(cameraCount), CameraEntry{});
        db.lenses.assign(static_cast<std::size_t>(lensCount), LensEntry{});
        db.stringPool.assign(static_cast<std::size_t>(poolSize), '\0');
        db.calibration.assign(static_cast<std::size_t>(pointCount), CalibrationPoint{});
        db.groupLinks.assign(static_cast<std::size_t>(groupLinkCount), GroupLink{});
    } catch (const std::bad_alloc&) {
        sink_.Show(text::kAllocMemError1);
        return Status(1);
    }

    if (poolSize > 0) {
        std::memcpy(db.stringPool.data(), file_.bytes().data() + poolOffset,
                    static_cast<std::size_t>(poolSize));
    }
    lastNul_ = 0;
    bool poolHasNul = false;
    for (std::size_t i = db.stringPool.size(); i-- > 0;) {
        if (db.stringPool[i] == '\0') {
            lastNul_ = i;
            poolHasNul = true;
            break;
        }
    }
    auto text = [&](std::int32_t offset, const char*& out) {
        if (!poolHasNul) return false;
        out = PoolText(db, offset);
        return out != nullptr;
    };

    for (std::int32_t i = 0; i < pointCount; ++i) {
        const std::uint64_t at = static_cast<std::uint64_t>(pointTable) +
                                 static_cast<std::uint64_t>(i) * kCalibrationPointSize;
        CalibrationPoint& p = db.calibration[static_cast<std::size_t>(i)];
        p.focal = Real(at);
        p.a = Real(at + 4);
        p.b = Real(at + 8);
        p.c = Real(at + 12);
    }

    for (std::int32_t i = 0; i < cameraCount; ++i) {
        CameraEntry& cam = db.cameras[static_cast<std::size_t>(i)];
        const std::uint64_t rec = static_cast<std::uint64_t>(cameraTable) +
                                  static_cast<std::uint64_t>(i) * kCameraRecordSize;
        cam.makeMenuIndex = Word(rec + 8);
        cam.modelMenuIndex = Word(rec + 12);
        cam.reserved = Word(rec + 36);
        cam.hasStandardLens = Word(rec + 40);
        cam.cropFactor = Real(rec + 44);

        const std::uint64_t link = static_cast<std::uint64_t>(cameraLinks) +
                                   static_cast<std::uint64_t>(i) * kCameraLinkSize;
        if (!Resolve(Word(link), db.cameras, cam.next) ||
            !Resolve(Word(link + 4), db.groupLinks, cam.groups) ||
            !text(Word(link + 8), cam.menuMake) || !text(Word(link + 12), cam.menuModel) ||
            !text(Word(link + 16), cam.exifMake) || !text(Word(link + 20), cam.exifModel)) {
            return Invalid(kCodeBadStructure);
        }
    }

    for (std::int32_t j = 0; j < groupLinkCount; ++j) {
        GroupLink& g = db.groupLinks[static_cast<std::size_t>(j)];
        const std::uint64_t link =
            static_cast<std::uint64_t>(groupLinks) + static_cast<std::uint64_t>(j) * kGroupLinkSize;
        if (!Resolve(Word(link), db.groupLinks, g.next) || !text(Word(link + 4), g.group)) {
            return Invalid(kCodeBadStructure);
        }
    }

    for (std::int32_t k = 0; k < lensCount; ++k) {
        LensEntry& lens = db.lenses[static_cast<std::size_t>(k)];
        const std::uint64_t rec =
            static_cast<std::uint64_t>(lensTable) + static_cast<std::uint64_t>(k) * kLensRecordSize;
        lens.menuIndex = Word(rec + 8);
        lens.converterFactor = Real(rec + 20);
        lens.reserved1 = Word(rec + 24);
        lens.firstPoint = Word(rec + 28);
        lens.lastPoint = Word(rec + 32);
        lens.calibrationCrop = Real(rec + 36);
        lens.minFlenMaxAper = Real(rec + 40);
        lens.maxFlenMaxAper = Real(rec + 44);
        lens.minFlen = Real(rec + 48);
        lens.maxFlen = Real(rec + 52);
        lens.reserved2 = Word(rec + 56);
        // Interpolation indexes the points from first to last, so a lens whose
        // range is empty or leaves the table could not be used safely.
        if (lens.firstPoint < 0 || lens.lastPoint < lens.firstPoint ||
            lens.lastPoint >= pointCount) {
            return Invalid(kCodeBadStructure);
        }

        const std::uint64_t link =
            static_cast<std::uint64_t>(lensLinks) + static_cast<std::uint64_t>(k) * kLensLinkSize;
        if (!Resolve(Word(link), db.lenses, lens.next) || !text(Word(link + 4), lens.group) ||
            !text(Word(link + 8), lens.menuLens)) {
            return Invalid(kCodeBadStructure);
        }
    }

    if (!AllChainsEnd(db.cameras) || !AllChainsEnd(db.groupLinks) || !AllChainsEnd(db.lenses)) {
        return Invalid(kCodeBadStructure);
    }

    // The reserved words carry the source's texts when the writer put them
    // there; anything else in them is simply not a text.
    db.sourceFormat = poolHasNul ? PoolText(db, Word(kOffFormatText)) : nullptr;
    db.attribution = poolHasNul ? PoolText(db, Word(kOffAttributionText)) : nullptr;
    db.license = poolHasNul ? PoolText(db, Word(kOffLicenseText)) : nullptr;
    db.coefficientOrder = kCoefficientOrderAbc;
    db.majorVersion = major;
    db.minorVersion = minor;
    return Status::Ok();
}

}  // namespace

std::span<const CalibrationPoint> LensDatabase::PointsOf(const LensEntry& lens) const {
    if (lens.firstPoint < 0 || lens.lastPoint < lens.firstPoint ||
        static_cast<std::size_t>(lens.lastPoint) >= calibration.size()) {
        return {};
    }
    return std::span<const CalibrationPoint>(calibration)
        .subspan(static_cast<std::size_t>(lens.firstPoint),
                 static_cast<std::size_t>(lens.lastPoint - lens.firstPoint + 1));
}

Status ParseDatabase(std::span<const std::uint8_t> bytes, LensDatabase& database,
                     const platform::TextSource& texts, platform::MessageSink& sink) {
    LensDatabase loaded;
    Loader loader(bytes, texts, sink);
    const Status status = loader.Run(loaded);
    // No partial database is ever kept.
    database = status.ok() ? std::move(loaded) : LensDatabase();
    return status;
}

Status LoadDatabaseFile(const std::string& path, LensDatabase& database,
                        const platform::TextSource& texts, platform::MessageSink& sink) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        database = LensDatabase();
        text::ShowString(sink, texts, kMsgCannotOpen, path);
        sink.Show(texts.Text(kMsgCanceled));
        return Status(1);
    }
    std::vector<std::uint8_t> bytes;
    try {
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        in.seekg(0, std::ios::beg);
        if (size < 0 || static_cast<std::uint64_t>(size) > kMaxFileBytes) {
            database = LensDatabase();
            text::ShowString(sink, texts, kMsgInvalidFile, kDatabaseFileName, kCodeShortRead);
            return Status(1);
        }
        bytes.resize(static_cast<std::size_t>(size));
        if (size > 0 &&
            !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
            // Short: whatever arrived is parsed and fails on its own terms.
            bytes.resize(static_cast<std::size_t>(in.gcount()));
        }
    } catch (const std::bad_alloc&) {
        database = LensDatabase();
        sink.Show(text::kAllocMemError1);
        return Status(1);
    }
    return ParseDatabase(bytes, database, texts, sink);
}

Status LoadDatabase(std::string_view rootDir, LensDatabase& database,
                    const platform::TextSource& texts, platform::MessageSink& sink) {
    // Joined rather than appended, so a Root value without the trailing
    // separator still names the file inside the folder.
    return LoadDatabaseFile(platform::JoinPath(rootDir, kDatabaseFileName), database, texts, sink);
}

}  // namespace quillon::lensdb
