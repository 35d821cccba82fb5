#include "engine/vignetting.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "engine/cpu_features.h"

#if defined(QUILLON_HAVE_AVX2_PATH)
#include <immintrin.h>
#endif

// This file is compiled with -ffp-contract=off (engine/CMakeLists.txt): the
// gains of the 256-bit kernel must equal those of the portable code bit for
// bit, and a multiply-add fused in one of them only would round differently.

namespace quillon::engine {
namespace {

// tanh is evaluated here rather than by the C library: a row's gains are then
// computed four at a time with the very operations the portable code uses,
// and every build and machine gets the same gains. The argument is reduced
// as u = n ln2 + r with |r| <= ln2 / 2, and expm1(r) summed to its 13th power
// (the next term is about a tenth of an ulp). ln2 is split so that n times its
// high part is exact.
constexpr double kInverseLn2 = 0x1.71547652b82fep+0;
constexpr double kLn2High = 0x1.62e42p-1;
constexpr double kLn2Low = 0x1.fdf473de6af28p-22;
// Adding this rounds a double below 2^51 in magnitude to an integer, which
// then sits in the low bits of the sum.
constexpr double kRoundingShift = 0x1.8p52;
// 1 / m! for m = 13 down to 2.
constexpr double kExpm1Terms[] = {
    1.6059043836821613e-10, 2.08767569878681e-09,   2.505210838544172e-08,  2.755731922398589e-07,
    2.7557319223985893e-06, 2.48015873015873e-05,   1.984126984126984e-04,  1.388888888888889e-03,
    8.333333333333333e-03,  4.1666666666666664e-02, 1.6666666666666666e-01, 0.5};
// tanh is 1 in double precision from 19.1 on; clamping there keeps expm1
// finite.
constexpr double kTanhSaturation = 22.0;

// Quadrant columns whose gains are held at a time.
constexpr std::int32_t kChunkColumns = 256;

// expm1(u) for |u| <= 2 * kTanhSaturation.
double Expm1(double u) {
    const double shifted = u * kInverseLn2 + kRoundingShift;
    const double n = shifted - kRoundingShift;
    // 2^n from the integer in the low bits of `shifted`.
    const double scale =
        std::bit_cast<double>((std::bit_cast<std::uint64_t>(shifted) + 1023) << 52);
    const double r = (u - n * kLn2High) - n * kLn2Low;
    double p = kExpm1Terms[0];
    for (std::size_t m = 1; m < std::size(kExpm1Terms); ++m) p = p * r + kExpm1Terms[m];
    const double em = r + r * r * p;
    // 2^n (1 + em) - 1, with 2^n - 1 exact.
    return scale * em + (scale - 1.0);
}

// Below 1 the form from expm1(-2|x|) keeps the accuracy of small arguments;
// above, 1 - 2 / (expm1(2|x|) + 2) rounds to exactly 1 where tanh does.
double Tanh(double x) {
    const double magnitude = std::fabs(x);
    const double a = kTanhSaturation < magnitude ? kTanhSaturation : magnitude;
    const double twice = a + a;
    double t;
    if (a >= 1.0) {
        const double e = Expm1(twice);
        t = 1.0 - 2.0 / (e + 2.0);
    } else {
        const double e = Expm1(-twice);
        t = -e / (e + 2.0);
    }
    return std::copysign(t, x);
}

// Samples are multiplied by a gain of at most 4; truncation then clamping keeps
// the documented "256 and more give 255" behaviour. Values outside the window's
// ranges (the plug-in's recorded parameters) can make the gain negative or not
// a number; such samples become 0 rather than an undefined conversion.
inline void Scale8(const std::uint8_t* in, std::uint8_t* out, double gain) {
    for (int c = 0; c < 3; ++c) {
        const double v = in[c] * gain;
        out[c] = v >= 255.0 ? std::uint8_t{255}
                 : v > 0.0  ? static_cast<std::uint8_t>(v)
                            : std::uint8_t{0};
    }
}

// 16-bit samples are native-order words in a byte block: memcpy keeps the
// access free of alignment and aliasing assumptions, and compiles to a move.
inline void Scale16(const std::uint8_t* in, std::uint8_t* out, double gain) {
    std::uint16_t samples[3];
    std::memcpy(samples, in, sizeof samples);
    for (std::uint16_t& s : samples) {
        const double v = s * gain;
        s = v >= 65535.0 ? std::uint16_t{65535}
            : v > 0.0    ? static_cast<std::uint16_t>(v)
                         : std::uint16_t{0};
    }
    std::memcpy(out, samples, sizeof samples);
}

// One row of the source and the same row of the destination (the same row
// when the image is corrected in place).
struct RowPair {
    const std::uint8_t* in;
    std::uint8_t* out;
};

inline RowPair Rows(const ImageBuffer& source, const ImageBuffer& destination, std::int32_t y) {
    return {source.Row(y), destination.Row(y)};
}

inline void ScalePixel(RowPair row, std::int32_t column, int bytesPerPixel, double gain) {
    const std::int64_t offset = static_cast<std::int64_t>(column) * bytesPerPixel;
    if (bytesPerPixel == 3) {
        Scale8(row.in + offset, row.out + offset, gain);
    } else {
        Scale16(row.in + offset, row.out + offset, gain);
    }
}

bool SupportedDepth(const ImageBuffer& image) {
    return image.bitsPerPixel == 24 || image.bitsPerPixel == 48;
}

bool SameGeometry(const ImageBuffer& a, const ImageBuffer& b) {
    return a.width == b.width && a.height == b.height && a.bitsPerPixel == b.bitsPerPixel &&
           a.rowBytes == b.rowBytes;
}

#if defined(QUILLON_HAVE_AVX2_PATH)

// The 256-bit forms below repeat Expm1, Tanh and VignettingGain operation for
// operation on four lanes; where Tanh branches, each lane takes the operands
// of the branch the portable code would take.

__attribute__((target("avx2,fma"), always_inline)) inline __m256d Expm1x4(__m256d u) {
    const __m256d shift = _mm256_set1_pd(kRoundingShift);
    const __m256d shifted = _mm256_add_pd(_mm256_mul_pd(u, _mm256_set1_pd(kInverseLn2)), shift);
    const __m256d n = _mm256_sub_pd(shifted, shift);
    const __m256d scale = _mm256_castsi256_pd(_mm256_slli_epi64(
        _mm256_add_epi64(_mm256_castpd_si256(shifted), _mm256_set1_epi64x(1023)), 52));
    const __m256d r = _mm256_sub_pd(_mm256_sub_pd(u, _mm256_mul_pd(n, _mm256_set1_pd(kLn2High))),
                                    _mm256_mul_pd(n, _mm256_set1_pd(kLn2Low)));
    __m256d p = _mm256_set1_pd(kExpm1Terms[0]);
    for (std::size_t m = 1; m < std::size(kExpm1Terms); ++m) {
        p = _mm256_add_pd(_mm256_mul_pd(p, r), _mm256_set1_pd(kExpm1Terms[m]));
    }
    const __m256d em = _mm256_add_pd(r, _mm256_mul_pd(_mm256_mul_pd(r, r), p));
    return _mm256_add_pd(_mm256_mul_pd(scale, em), _mm256_sub_pd(scale, _mm256_set1_pd(1.0)));
}

__attribute__((target("avx2,fma"), always_inline)) inline __m256d Tanhx4(__m256d x) {
    const __m256d sign = _mm256_set1_pd(-0.0);
    const __m256d magnitude = _mm256_andnot_pd(sign, x);
    // min(a, b) is a < b ? a : b, as in Tanh.
    const __m256d a = _mm256_min_pd(_mm256_set1_pd(kTanhSaturation), magnitude);
    const __m256d twice = _mm256_add_pd(a, a);
    const __m256d large = _mm256_cmp_pd(a, _mm256_set1_pd(1.0), _CMP_GE_OQ);
    const __m256d e = Expm1x4(_mm256_blendv_pd(_mm256_xor_pd(twice, sign), twice, large));
    // One division serves both branches: its numerator is chosen first.
    const __m256d q =
        _mm256_div_pd(_mm256_blendv_pd(_mm256_xor_pd(e, sign), _mm256_set1_pd(2.0), large),
                      _mm256_add_pd(e, _mm256_set1_pd(2.0)));
    const __m256d t = _mm256_blendv_pd(q, _mm256_sub_pd(_mm256_set1_pd(1.0), q), large);
    return _mm256_or_pd(_mm256_andnot_pd(sign, t), _mm256_and_pd(sign, x));
}

__attribute__((target("avx2,fma"), always_inline)) inline __m256d Gainsx4(
    const VignettingConstants& k, __m256d distance) {
    const __m256d x = _mm256_mul_pd(_mm256_mul_pd(_mm256_sub_pd(_mm256_set1_pd(k.radius), distance),
                                                  _mm256_set1_pd(k.inverseRadius)),
                                    _mm256_set1_pd(k.steepness));
    const __m256d divisor =
        _mm256_add_pd(_mm256_mul_pd(Tanhx4(x), _mm256_set1_pd(k.slope)), _mm256_set1_pd(k.base));
    return _mm256_div_pd(_mm256_set1_pd(1.0), divisor);
}

// Scale8 and Scale16 for four lanes: max(v, 0) gives 0 for not a number as
// well, and min(.., limit) the clamp, so truncation sees only 0..limit.
__attribute__((target("avx2,fma"), always_inline)) inline __m128i Levels(__m256d samples,
                                                                         __m256d gains,
                                                                         __m256d limit) {
    const __m256d v = _mm256_mul_pd(samples, gains);
    return _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(v, _mm256_setzero_pd()), limit));
}

// Four 8-bit pixels (12 samples); g0, g1 and g2 hold the gains of samples
// 0..3, 4..7 and 8..11.
__attribute__((target("avx2,fma"), always_inline)) inline void ScaleFour8(const std::uint8_t* in,
                                                                          std::uint8_t* out,
                                                                          __m256d g0, __m256d g1,
                                                                          __m256d g2) {
    std::int32_t tail;
    std::memcpy(&tail, in + 8, 4);
    const __m128i bytes =
        _mm_insert_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in)), tail, 2);
    const __m256d limit = _mm256_set1_pd(255.0);
    const __m128i l0 = Levels(_mm256_cvtepi32_pd(_mm_cvtepu8_epi32(bytes)), g0, limit);
    const __m128i l1 =
        Levels(_mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(bytes, 4))), g1, limit);
    const __m128i l2 =
        Levels(_mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(bytes, 8))), g2, limit);
    const __m128i packed = _mm_packus_epi16(_mm_packus_epi32(l0, l1), _mm_packus_epi32(l2, l2));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
    tail = _mm_extract_epi32(packed, 2);
    std::memcpy(out + 8, &tail, 4);
}

// Four 16-bit pixels (24 bytes), gains as for ScaleFour8.
__attribute__((target("avx2,fma"), always_inline)) inline void ScaleFour16(const std::uint8_t* in,
                                                                           std::uint8_t* out,
                                                                           __m256d g0, __m256d g1,
                                                                           __m256d g2) {
    const __m256d limit = _mm256_set1_pd(65535.0);
    const __m256d gains[3] = {g0, g1, g2};
    for (int part = 0; part < 3; ++part) {
        const __m128i words = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + 8 * part));
        const __m128i levels =
            Levels(_mm256_cvtepi32_pd(_mm_cvtepu16_epi32(words)), gains[part], limit);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 8 * part),
                         _mm_packus_epi32(levels, levels));
    }
}

// Gains of columns first.. of a quadrant row four at a time, as far as whole
// groups of four reach; returns the first column left for the portable loop.
__attribute__((target("avx2,fma"))) std::int32_t RowGainsAvx2(const VignettingConstants& k,
                                                              double dy, std::int32_t first,
                                                              std::int32_t end, double* gains) {
    const __m256d dySquared = _mm256_set1_pd(dy * dy);
    const __m256d steps = _mm256_set_pd(3.0, 2.0, 1.0, 0.0);
    std::int32_t j = first;
    for (; j + 4 <= end; j += 4, gains += 4) {
        const __m256d dx =
            _mm256_sub_pd(_mm256_set1_pd(static_cast<double>(k.halfWidth - j)), steps);
        _mm256_storeu_pd(
            gains, Gainsx4(k, _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(dx, dx), dySquared))));
    }
    return j;
}

// Columns first.. of quadrant rows (a top and a bottom one, or one alone) and
// their mirrors four at a time, as far as whole groups of four reach; returns the first column
// left for the portable loop. gains[0] belongs to column `first`.
template <int kBytesPerPixel>
__attribute__((target("avx2,fma"))) std::int32_t ScaleColumnsAvx2(
    const RowPair* rows, std::size_t rowCount, std::int32_t width, std::int32_t first,
    std::int32_t end, const double* gains) {
    std::int32_t j = first;
    for (; j + 4 <= end; j += 4, gains += 4) {
        const __m256d four = _mm256_loadu_pd(gains);
        // Pixels j..j + 3 take gains 0..3; their mirrors, in ascending
        // address order, 3..0.
        const __m256d l0 = _mm256_permute4x64_pd(four, _MM_SHUFFLE(1, 0, 0, 0));
        const __m256d l1 = _mm256_permute4x64_pd(four, _MM_SHUFFLE(2, 2, 1, 1));
        const __m256d l2 = _mm256_permute4x64_pd(four, _MM_SHUFFLE(3, 3, 3, 2));
        const __m256d r0 = _mm256_permute4x64_pd(four, _MM_SHUFFLE(2, 3, 3, 3));
        const __m256d r1 = _mm256_permute4x64_pd(four, _MM_SHUFFLE(1, 1, 2, 2));
        const __m256d r2 = _mm256_permute4x64_pd(four, _MM_SHUFFLE(0, 0, 0, 1));
        const auto left = static_cast<std::size_t>(j) * kBytesPerPixel;
        const auto right = static_cast<std::size_t>(width - 4 - j) * kBytesPerPixel;
        for (std::size_t r = 0; r < rowCount; ++r) {
            const RowPair row = rows[r];
            if constexpr (kBytesPerPixel == 3) {
                ScaleFour8(row.in + left, row.out + left, l0, l1, l2);
                ScaleFour8(row.in + right, row.out + right, r0, r1, r2);
            } else {
                ScaleFour16(row.in + left, row.out + left, l0, l1, l2);
                ScaleFour16(row.in + right, row.out + right, r0, r1, r2);
            }
        }
    }
    return j;
}

#endif

}  // namespace

VignettingConstants MakeVignettingConstants(std::int32_t width, std::int32_t height, int vigAmount,
                                            int vigMidpoint) {
    VignettingConstants k;
    const std::int64_t squaredDiagonal =
        static_cast<std::int64_t>(width) * width + static_cast<std::int64_t>(height) * height;
    k.radius = 0.5 * std::sqrt(static_cast<double>(squaredDiagonal));
    // A 0 x 0 image has no pixels to visit; keep the reciprocal finite anyway.
    k.inverseRadius = k.radius > 0.0 ? 1.0 / k.radius : 0.0;
    const double amount = 0.0075 * vigAmount;
    k.base = 1.0 - amount;
    k.steepness = 1.0 + 0.07 * vigMidpoint;
    k.slope = amount / Tanh(k.steepness);
    k.halfWidth = width / 2;
    k.halfHeight = height / 2;
#if defined(QUILLON_HAVE_AVX2_PATH)
    k.wideVectors = HaveAvx2();
#endif
    return k;
}

double VignettingGain(const VignettingConstants& k, double distance) {
    const double divisor =
        Tanh((k.radius - distance) * k.inverseRadius * k.steepness) * k.slope + k.base;
    return 1.0 / divisor;
}

void QuadrantRowGains(const VignettingConstants& k, std::int32_t row, std::int32_t firstColumn,
                      std::int32_t endColumn, double* gains) {
    const double dy = static_cast<double>(k.halfHeight - row);
    std::int32_t j = firstColumn;
#if defined(QUILLON_HAVE_AVX2_PATH)
    if (k.wideVectors) j = RowGainsAvx2(k, dy, firstColumn, endColumn, gains);
#endif
    for (; j < endColumn; ++j) {
        const double dx = static_cast<double>(k.halfWidth - j);
        gains[j - firstColumn] = VignettingGain(k, std::sqrt(dx * dx + dy * dy));
    }
}

namespace {

// The pixels of `count` rows that take the gains of quadrant row `i` (a top
// row and its bottom mirror, or one of them), with their mirrored columns.
// A row goes in chunks: first the chunk's gains, which wait on square roots
// and divisions, then the scaling, which waits on memory. Apart, each loop
// keeps many columns in flight.
void ScaleQuadrantRow(const RowPair* rows, std::size_t count, const VignettingConstants& k,
                      std::int32_t i, std::int32_t w, int bpp) {
    double gains[kChunkColumns];
    for (std::int32_t first = 0; first < k.halfWidth; first += kChunkColumns) {
        const std::int32_t end = std::min(first + kChunkColumns, k.halfWidth);
        QuadrantRowGains(k, i, first, end, gains);
        std::int32_t j = first;
#if defined(QUILLON_HAVE_AVX2_PATH)
        if (k.wideVectors) {
            j = bpp == 3 ? ScaleColumnsAvx2<3>(rows, count, w, first, end, gains)
                         : ScaleColumnsAvx2<6>(rows, count, w, first, end, gains);
        }
#endif
        for (; j < end; ++j) {
            for (std::size_t r = 0; r < count; ++r) {
                ScalePixel(rows[r], j, bpp, gains[j - first]);
                ScalePixel(rows[r], w - 1 - j, bpp, gains[j - first]);
            }
        }
    }
}

}  // namespace

void VignetteQuadrantRows(const ImageBuffer& source, const ImageBuffer& destination,
                          const VignettingConstants& k, std::int32_t firstRow,
                          std::int32_t endRow) {
    if (!SupportedDepth(source) || !SameGeometry(source, destination)) return;
    const int bpp = source.BytesPerPixel();
    const std::int32_t w = source.width;
    const std::int32_t h = source.height;
    for (std::int32_t i = firstRow; i < endRow && i < k.halfHeight; ++i) {
        const RowPair rows[2] = {Rows(source, destination, i),
                                 Rows(source, destination, h - 1 - i)};
        ScaleQuadrantRow(rows, 2, k, i, w, bpp);
    }
}

namespace {

// The centre row of an odd height, of `w` pixels of `bpp` bytes.
void VignetteCentreRow(RowPair row, const VignettingConstants& k, std::int32_t w, int bpp) {
    for (std::int32_t j = 0; j < k.halfWidth; ++j) {
        const double gain = VignettingGain(k, static_cast<double>(k.halfWidth - j));
        ScalePixel(row, j, bpp, gain);
        ScalePixel(row, w - 1 - j, bpp, gain);
    }
    // The centre pixel of an odd-sized image keeps its value; written out of
    // place it has to be carried over.
    if (w % 2 == 1 && row.in != row.out) {
        const std::int64_t offset = static_cast<std::int64_t>(k.halfWidth) * bpp;
        std::memcpy(row.out + offset, row.in + offset, static_cast<std::size_t>(bpp));
    }
}

}  // namespace

void VignetteCentreLines(const ImageBuffer& source, const ImageBuffer& destination,
                         const VignettingConstants& k) {
    if (!SupportedDepth(source) || !SameGeometry(source, destination)) return;
    const int bpp = source.BytesPerPixel();
    const std::int32_t w = source.width;
    const std::int32_t h = source.height;
    if (w % 2 == 1) {
        for (std::int32_t i = 0; i < k.halfHeight; ++i) {
            const double gain = VignettingGain(k, static_cast<double>(k.halfHeight - i));
            ScalePixel(Rows(source, destination, i), k.halfWidth, bpp, gain);
            ScalePixel(Rows(source, destination, h - 1 - i), k.halfWidth, bpp, gain);
        }
    }
    if (h % 2 == 1) VignetteCentreRow(Rows(source, destination, k.halfHeight), k, w, bpp);
}

void VignetteImageRows(const ImageBuffer& source, const ImageBuffer& destination,
                       const VignettingConstants& k, std::int32_t firstRow, std::int32_t endRow) {
    if (!SupportedDepth(source) || !SameGeometry(source, destination)) return;
    const int bpp = source.BytesPerPixel();
    const std::int32_t w = source.width;
    const std::int32_t h = source.height;
    for (std::int32_t y = std::max(firstRow, 0); y < endRow && y < h; ++y) {
        const RowPair row = Rows(source, destination, y);
        if (h % 2 == 1 && y == k.halfHeight) {
            VignetteCentreRow(row, k, w, bpp);
            continue;
        }
        // The quadrant row whose gains this row shares.
        const std::int32_t i = y < k.halfHeight ? y : h - 1 - y;
        ScaleQuadrantRow(&row, 1, k, i, w, bpp);
        if (w % 2 == 1) {
            // The centre column (VignetteCentreLines).
            ScalePixel(row, k.halfWidth, bpp,
                       VignettingGain(k, static_cast<double>(k.halfHeight - i)));
        }
    }
}

void ApplyVignetting(const ImageBuffer& source, const ImageBuffer& destination,
                     const CorrectionSettings& settings, WorkerPool& pool, WorkProgress* progress) {
    if (!SupportedDepth(source) || !SameGeometry(source, destination) || source.pixels == nullptr ||
        destination.pixels == nullptr || source.width <= 0 || source.height <= 0) {
        return;
    }
    const VignettingConstants constants = MakeVignettingConstants(
        source.width, source.height, settings.VigAmount, settings.VigMidpoint);
    if (progress != nullptr) progress->BeginStage(constants.halfHeight);
    const auto band = [&](std::int32_t firstRow, std::int32_t endRow) {
        VignetteQuadrantRows(source, destination, constants, firstRow, endRow);
        if (progress != nullptr) progress->AddRows(endRow - firstRow);
        return Status::Ok();
    };
    // Bands never fail, so the fan-out's status carries nothing.
    (void)FanOutBands(pool, constants.halfHeight, band);
    VignetteCentreLines(source, destination, constants);
}

void ApplyVignetting(const ImageBuffer& image, const CorrectionSettings& settings,
                     WorkerPool& pool) {
    ApplyVignetting(image, image, settings, pool);
}

}  // namespace quillon::engine
