#include "engine/remap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>

#include "engine/cpu_features.h"
#include "engine/image_ops.h"
#include "text/memory_messages.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace quillon::engine {

namespace {

// The stack is evaluated exactly every this many columns; the subdivision
// decides how much of each gap may be filled by additions.
constexpr std::int32_t kExactStep = 40;
// Halves of gaps are checked on their own while the destination's shorter side
// is below this many gaps: at 32, a bend odd about a midpoint stays below 0.01
// pixel for any distortion a lens can show.
constexpr std::int32_t kHalfCheckSidesPerGap = 32;

bool IsValidPosition(double x, double y, std::int32_t width, std::int32_t height) {
    // Written so that NaN positions are invalid.
    return x >= -1.0 && x < width && y >= -1.0 && y < height;
}

// Evaluates and fills the source positions of one destination row.
class RowMapper {
  public:
    RowMapper(const TransformStack& stack, const RemapGeometry& g, std::int32_t row, double* xs,
              double* ys, std::uint8_t* valid)
        : stack_(stack),
          g_(g),
          xs_(xs),
          ys_(ys),
          valid_(valid),
          destinationX0_(CentreOffset(g.destinationWidth)),
          destinationY_(row - CentreOffset(g.destinationHeight)),
          sourceX0_(CentreOffset(g.sourceWidth)),
          sourceY0_(CentreOffset(g.sourceHeight)),
          checkHalves_(std::min(g.destinationWidth, g.destinationHeight) <
                       kHalfCheckSidesPerGap * kExactStep) {}

    void Exact(std::int32_t j) {
        const Point p = ExecuteStack(Point{j - destinationX0_, destinationY_}, stack_);
        xs_[j] = p.x + sourceX0_;
        ys_[j] = p.y + sourceY0_;
        valid_[j] = IsValidPosition(xs_[j], ys_[j], g_.sourceWidth, g_.sourceHeight) ? 1 : 0;
    }

    void ExactInside(std::int32_t lo, std::int32_t hi) {
        for (std::int32_t j = lo + 1; j < hi; ++j) Exact(j);
    }

    // Adds the per-column step repeatedly from the left end, as the
    // tolerance check assumed.
    void Linear(std::int32_t lo, std::int32_t hi) {
        // Local restrict pointers: the validity bytes could otherwise alias
        // the coordinates and force a reload of everything on every store.
        double* __restrict xs = xs_;
        double* __restrict ys = ys_;
        const double stepX = (xs[hi] - xs[lo]) / (hi - lo);
        const double stepY = (ys[hi] - ys[lo]) / (hi - lo);
        double x = xs[lo];
        double y = ys[lo];
        for (std::int32_t j = lo + 1; j < hi; ++j) {
            x += stepX;
            y += stepY;
            xs[j] = x;
            ys[j] = y;
        }
        MarkValid(lo, hi);
    }

    // Both halves of a gap by additions, as Linear(lo, mid) and Linear(mid,
    // hi) would fill them, bit for bit. Each half is one chain of dependent
    // additions; run side by side in the two lanes of a vector, the chains
    // overlap instead of following each other.
    void LinearPair(std::int32_t lo, std::int32_t mid, std::int32_t hi) {
#if defined(__SSE2__)
        double* __restrict xs = xs_;
        double* __restrict ys = ys_;
        // Lane 0 walks from lo, lane 1 from mid; the right half is at most one
        // column longer, and its last column is done on its own.
        const __m128d lengths = _mm_set_pd(hi - mid, mid - lo);
        const __m128d stepX = _mm_div_pd(
            _mm_sub_pd(_mm_set_pd(xs[hi], xs[mid]), _mm_set_pd(xs[mid], xs[lo])), lengths);
        const __m128d stepY = _mm_div_pd(
            _mm_sub_pd(_mm_set_pd(ys[hi], ys[mid]), _mm_set_pd(ys[mid], ys[lo])), lengths);
        __m128d x = _mm_set_pd(xs[mid], xs[lo]);
        __m128d y = _mm_set_pd(ys[mid], ys[lo]);
        const std::int32_t offset = mid - lo;
        for (std::int32_t j = lo + 1; j < mid; ++j) {
            x = _mm_add_pd(x, stepX);
            y = _mm_add_pd(y, stepY);
            _mm_storel_pd(xs + j, x);
            _mm_storeh_pd(xs + j + offset, x);
            _mm_storel_pd(ys + j, y);
            _mm_storeh_pd(ys + j + offset, y);
        }
        if (hi - mid > mid - lo) {
            xs[hi - 1] = _mm_cvtsd_f64(_mm_unpackhi_pd(_mm_add_pd(x, stepX), x));
            ys[hi - 1] = _mm_cvtsd_f64(_mm_unpackhi_pd(_mm_add_pd(y, stepY), y));
        }
        // The midpoint is exact; its validity comes out the same again.
        MarkValid(lo, hi, mid);
#else
        Linear(lo, mid);
        Linear(mid, hi);
#endif
    }

    // Validity of the columns between lo and hi, in a loop of its own, free
    // of the additions' chain, two columns at a time where the vector unit
    // allows.
    void MarkValid(std::int32_t lo, std::int32_t hi) { MarkValid(lo, hi, lo); }

    // The same for the two straight pieces lo..mid and mid..hi.
    void MarkValid(std::int32_t lo, std::int32_t hi, std::int32_t mid) {
        const double* __restrict xs = xs_;
        const double* __restrict ys = ys_;
        std::uint8_t* __restrict valid = valid_;
        const double right = g_.sourceWidth;
        const double bottom = g_.sourceHeight;
        // Pieces whose ends lie well inside the source are inside throughout:
        // the filled positions stray from the straight line by rounding only,
        // a ten-billionth of a pixel, far less than the margin.
        constexpr double kMargin = 1e-6;
        const auto wellInside = [&](std::int32_t j) {
            return xs[j] >= -1.0 + kMargin && xs[j] < right - kMargin && ys[j] >= -1.0 + kMargin &&
                   ys[j] < bottom - kMargin;
        };
        if (hi - lo > 1 && wellInside(lo) && wellInside(mid) && wellInside(hi)) {
            std::memset(valid + lo + 1, 1, static_cast<std::size_t>(hi - lo - 1));
            return;
        }
        std::int32_t j = lo + 1;
#if defined(__SSE2__)
        const __m128d low = _mm_set1_pd(-1.0);
        const __m128d xEnd = _mm_set1_pd(right);
        const __m128d yEnd = _mm_set1_pd(bottom);
        for (; j + 1 < hi; j += 2) {
            const __m128d x2 = _mm_loadu_pd(xs + j);
            const __m128d y2 = _mm_loadu_pd(ys + j);
            const __m128d inside =
                _mm_and_pd(_mm_and_pd(_mm_cmpge_pd(x2, low), _mm_cmplt_pd(x2, xEnd)),
                           _mm_and_pd(_mm_cmpge_pd(y2, low), _mm_cmplt_pd(y2, yEnd)));
            const int bits = _mm_movemask_pd(inside);
            valid[j] = static_cast<std::uint8_t>(bits & 1);
            valid[j + 1] = static_cast<std::uint8_t>(bits >> 1);
        }
#endif
        for (; j < hi; ++j) {
            valid[j] = static_cast<std::uint8_t>((xs[j] >= -1.0) & (xs[j] < right) &
                                                 (ys[j] >= -1.0) & (ys[j] < bottom));
        }
    }

    void Fill(std::int32_t lo, std::int32_t hi) {
        if (hi - lo < 2) return;
        const std::int32_t mid = (lo + hi) / 2;
        Exact(mid);
        const double t = static_cast<double>(mid - lo) / (hi - lo);
        const double predictedX = xs_[lo] + (xs_[hi] - xs_[lo]) * t;
        const double predictedY = ys_[lo] + (ys_[hi] - ys_[lo]) * t;
        const bool straight =
            std::fabs(predictedX - xs_[mid]) <= 1.0 && std::fabs(predictedY - ys_[mid]) <= 1.0;
        if (!valid_[lo] && !valid_[hi]) {
            // Two invalid ends alone prove nothing: a bent row can leave the
            // source at both ends of a gap and come back in between (the top
            // row of a strongly corrected image, any row narrower than the
            // step). The gap is skipped only when its middle is invalid as well,
            // the row is straight there, and the straight line misses the
            // source by more than the one-pixel tolerance.
            if (!valid_[mid] && straight && LineMissesSource(lo, hi)) {
                for (std::int32_t j = lo + 1; j < hi; ++j) {
                    if (j != mid) valid_[j] = 0;
                }
                return;
            }
            Fill(lo, mid);
            Fill(mid, hi);
            return;
        }
        if (straight) {
            if (!checkHalves_ && valid_[lo] && valid_[mid] && valid_[hi] && mid - lo >= 2) {
                LinearPair(lo, mid, hi);
                return;
            }
            FillHalf(lo, mid);
            FillHalf(mid, hi);
            return;
        }
        Fill(lo, mid);
        Fill(mid, hi);
    }

    // One half of a gap whose midpoint passed the straight-line test. A
    // midpoint cannot see a bend that is odd about it (a radial model across
    // the image centre bends both halves equally and oppositely). Such a bend
    // grows with the cube of the gap's length over the image's size: on small
    // images it can reach several pixels, so there each half is filled by
    // additions only after its own midpoint agrees with it too; on large ones
    // it stays far below a pixel and the extra evaluations are skipped.
    void FillHalf(std::int32_t lo, std::int32_t hi) {
        if (!valid_[lo] || !valid_[hi]) {
            ExactInside(lo, hi);
            return;
        }
        if (hi - lo < 2) return;
        if (!checkHalves_) {
            Linear(lo, hi);
            return;
        }
        const std::int32_t mid = (lo + hi) / 2;
        Exact(mid);
        const double t = static_cast<double>(mid - lo) / (hi - lo);
        if (valid_[mid] && std::fabs(xs_[lo] + (xs_[hi] - xs_[lo]) * t - xs_[mid]) <= 1.0 &&
            std::fabs(ys_[lo] + (ys_[hi] - ys_[lo]) * t - ys_[mid]) <= 1.0) {
            Linear(lo, mid);
            Linear(mid, hi);
            return;
        }
        Fill(lo, mid);
        Fill(mid, hi);
    }

  private:
    // Whether the segment between the positions of lo and hi stays clear of
    // the valid area grown by one pixel (Liang-Barsky clipping). Positions that
    // are not finite prove nothing.
    bool LineMissesSource(std::int32_t lo, std::int32_t hi) const {
        const double x0 = xs_[lo], y0 = ys_[lo];
        const double dx = xs_[hi] - x0, dy = ys_[hi] - y0;
        if (!std::isfinite(dx) || !std::isfinite(dy) || !std::isfinite(x0) || !std::isfinite(y0)) {
            return false;
        }
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {x0 + 2.0, g_.sourceWidth + 1.0 - x0, y0 + 2.0,
                             g_.sourceHeight + 1.0 - y0};
        double enter = 0.0;
        double leave = 1.0;
        for (int i = 0; i < 4; ++i) {
            if (p[i] == 0.0) {
                if (q[i] < 0.0) return true;
                continue;
            }
            const double r = q[i] / p[i];
            if (p[i] < 0.0) {
                if (r > leave) return true;
                enter = std::max(enter, r);
            } else {
                if (r < enter) return true;
                leave = std::min(leave, r);
            }
        }
        return false;
    }

    const TransformStack& stack_;
    const RemapGeometry& g_;
    double* xs_;
    double* ys_;
    std::uint8_t* valid_;
    double destinationX0_;
    double destinationY_;
    double sourceX0_;
    double sourceY0_;
    bool checkHalves_;
};

// Which of the three channels a pass writes, as byte masks.
struct PassChannels {
    bool write[3];
    bool all;
};

PassChannels ChannelsOf(ChannelPass pass) {
    return {{PassWritesChannel(pass, 0), PassWritesChannel(pass, 1), PassWritesChannel(pass, 2)},
            pass == ChannelPass::kAll};
}

// The border block: the four rows assembled in `scratch` with clamped rows and
// columns, so the edge pixels repeat. Rare, so kept out of the pixel loop.
template <class T>
__attribute__((noinline)) void AssembleBorderBlock(const ImageBuffer& source, std::int32_t x0,
                                                   std::int32_t y0, T (&scratch)[4][12],
                                                   const T* (&rows)[4]) {
    const std::int32_t w = source.width;
    const std::int32_t h = source.height;
    for (int r = 0; r < 4; ++r) {
        const std::int32_t y = std::clamp(y0 + r, 0, h - 1);
        const T* line = reinterpret_cast<const T*>(source.Row(y));
        for (int c = 0; c < 4; ++c) {
            const std::int32_t x = std::clamp(x0 + c, 0, w - 1);
            std::memcpy(&scratch[r][3 * c], line + 3 * x, 3 * sizeof(T));
        }
        rows[r] = scratch[r];
    }
}

// The four rows of a block inside the source whose first sample is `first`,
// `stride` samples apart.
template <class T>
inline void InsideBlockRows(const T* first, std::int64_t stride, const T* (&rows)[4]) {
    rows[0] = first;
    rows[1] = first + stride;
    rows[2] = first + 2 * stride;
    rows[3] = first + 3 * stride;
}

// Pointers to the first sample of each of the four block rows: straight into
// the source when the block lies inside it, else into the assembled border
// block.
template <class T>
inline void LocateBlock(const ImageBuffer& source, std::int32_t x0, std::int32_t y0,
                        T (&scratch)[4][12], const T* (&rows)[4]) {
    if (x0 >= 0 && x0 <= source.width - 4 && y0 >= 0 && y0 <= source.height - 4) {
        InsideBlockRows(reinterpret_cast<const T*>(source.Row(y0)) + 3 * x0,
                        source.rowBytes / static_cast<std::int64_t>(sizeof(T)), rows);
        return;
    }
    AssembleBorderBlock(source, x0, y0, scratch, rows);
}

// The rule in double precision: each block row weighted across its columns,
// the row sums weighted by the row weights, then converted.
template <class T>
void InterpolateExact(const T* const* rows, double fx, double fy, const PassChannels& pass,
                      const SampleTables& tables, T* out) {
    const double wx[4] = {KeysKernel(1.0 + fx), KeysKernel(fx), KeysKernel(1.0 - fx),
                          KeysKernel(2.0 - fx)};
    const double wy[4] = {KeysKernel(1.0 + fy), KeysKernel(fy), KeysKernel(1.0 - fy),
                          KeysKernel(2.0 - fy)};
    for (int c = 0; c < 3; ++c) {
        if (!pass.write[c]) continue;
        double sum = 0.0;
        for (int r = 0; r < 4; ++r) {
            const T* s = rows[r] + c;
            const double rowSum = wx[0] * s[0] + wx[1] * s[3] + wx[2] * s[6] + wx[3] * s[9];
            sum += wy[r] * rowSum;
        }
        out[c] = static_cast<T>(tables.Convert(sum));
    }
}

#if defined(__SSE2__)

// Kernel weights for the four taps at fraction f: the outer taps (t = 1 + f,
// 2 - f) use the polynomial for 1..2, the inner ones the polynomial for 0..1.
inline __m128 KeysWeights(float f) {
    const __m128 t = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(f), _mm_setr_ps(1.f, 1.f, -1.f, -1.f)),
                                _mm_setr_ps(1.f, 0.f, 1.f, 2.f));
    __m128 k = _mm_add_ps(_mm_mul_ps(_mm_setr_ps(-0.75f, 1.25f, 1.25f, -0.75f), t),
                          _mm_setr_ps(3.75f, -2.25f, -2.25f, 3.75f));
    k = _mm_add_ps(_mm_mul_ps(k, t), _mm_setr_ps(-6.f, 0.f, 0.f, -6.f));
    return _mm_add_ps(_mm_mul_ps(k, t), _mm_setr_ps(3.f, 1.f, 1.f, 3.f));
}

// Four RGB pixels (12 bytes, read exactly) as floats r0 g0 b0 r1 | g1 b1 r2 g2 |
// b2 r3 g3 b3.
inline void LoadBlockRow(const std::uint8_t* p, __m128& v0, __m128& v1, __m128& v2) {
    std::int32_t tail;
    std::memcpy(&tail, p + 8, 4);
    const __m128i bytes = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                                             _mm_cvtsi32_si128(tail));
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = _mm_unpacklo_epi8(bytes, zero);
    const __m128i hi = _mm_unpackhi_epi8(bytes, zero);
    v0 = _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero));
    v1 = _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero));
    v2 = _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero));
}

// The channel sums from three accumulators of a weighted block row (lanes r0
// g0 b0 r1 | g1 b1 r2 g2 | b2 r3 g3 b3), converted and stored for the pass.
inline void StoreFast8(__m128 acc0, __m128 acc1, __m128 acc2, const PassChannels& pass,
                       std::uint8_t* out) {
    // Gather the lanes of each channel: R = a0 + a3 + b2 + c1, G = a1 + b0 +
    // b3 + c2, B = a2 + b1 + c0 + c3.
    const __m128 ab = _mm_unpackhi_ps(acc0, acc1);                             // a2 b2 a3 b3
    const __m128 third = _mm_shuffle_ps(ab, acc2, _MM_SHUFFLE(3, 3, 3, 2));    // a3 b3 c3 c3
    const __m128 fromB = _mm_shuffle_ps(acc1, acc1, _MM_SHUFFLE(3, 1, 0, 2));  // b2 b0 b1
    const __m128 fromC = _mm_shuffle_ps(acc2, acc2, _MM_SHUFFLE(3, 0, 2, 1));  // c1 c2 c0
    const __m128 sum = _mm_add_ps(_mm_add_ps(acc0, third), _mm_add_ps(fromB, fromC));
    // q = trunc(16 v); 0 below zero; round half up to a level; 255 at most
    // (the saturating packs).
    __m128i q = _mm_cvttps_epi32(_mm_mul_ps(sum, _mm_set1_ps(16.0f)));
    q = _mm_andnot_si128(_mm_srai_epi32(q, 31), q);
    q = _mm_srli_epi32(_mm_add_epi32(q, _mm_set1_epi32(8)), 4);
    const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(q, q), q);
    const auto rgb = static_cast<std::uint32_t>(_mm_cvtsi128_si32(packed));
    if (pass.all) {
        const auto low = static_cast<std::uint16_t>(rgb);
        std::memcpy(out, &low, 2);
        out[2] = static_cast<std::uint8_t>(rgb >> 16);
        return;
    }
    if (pass.write[0]) out[0] = static_cast<std::uint8_t>(rgb);
    if (pass.write[1]) out[1] = static_cast<std::uint8_t>(rgb >> 8);
    if (pass.write[2]) out[2] = static_cast<std::uint8_t>(rgb >> 16);
}

// Single-precision form of the rule for 8-bit samples. Its error (a few
// 1e-5 of a level) moves a result across a 1/16 step only rarely, and then by
// one level at most; the engine tests hold it to that against the rule.
inline void InterpolateFast8(const std::uint8_t* const* rows, float fx, float fy,
                             const PassChannels& pass, std::uint8_t* out) {
    const __m128 wx = KeysWeights(fx);
    const __m128 wy = KeysWeights(fy);
    // Columns first would cost three multiplications per block row; weighting
    // the rows first and the columns once at the end needs only one set.
    __m128 acc0, acc1, acc2;
    {
        __m128 v0, v1, v2;
        LoadBlockRow(rows[0], v0, v1, v2);
        const __m128 weight = _mm_shuffle_ps(wy, wy, _MM_SHUFFLE(0, 0, 0, 0));
        acc0 = _mm_mul_ps(v0, weight);
        acc1 = _mm_mul_ps(v1, weight);
        acc2 = _mm_mul_ps(v2, weight);
    }
    {
        __m128 v0, v1, v2;
        LoadBlockRow(rows[1], v0, v1, v2);
        const __m128 weight = _mm_shuffle_ps(wy, wy, _MM_SHUFFLE(1, 1, 1, 1));
        acc0 = _mm_add_ps(acc0, _mm_mul_ps(v0, weight));
        acc1 = _mm_add_ps(acc1, _mm_mul_ps(v1, weight));
        acc2 = _mm_add_ps(acc2, _mm_mul_ps(v2, weight));
    }
    {
        __m128 v0, v1, v2;
        LoadBlockRow(rows[2], v0, v1, v2);
        const __m128 weight = _mm_shuffle_ps(wy, wy, _MM_SHUFFLE(2, 2, 2, 2));
        acc0 = _mm_add_ps(acc0, _mm_mul_ps(v0, weight));
        acc1 = _mm_add_ps(acc1, _mm_mul_ps(v1, weight));
        acc2 = _mm_add_ps(acc2, _mm_mul_ps(v2, weight));
    }
    {
        __m128 v0, v1, v2;
        LoadBlockRow(rows[3], v0, v1, v2);
        const __m128 weight = _mm_shuffle_ps(wy, wy, _MM_SHUFFLE(3, 3, 3, 3));
        acc0 = _mm_add_ps(acc0, _mm_mul_ps(v0, weight));
        acc1 = _mm_add_ps(acc1, _mm_mul_ps(v1, weight));
        acc2 = _mm_add_ps(acc2, _mm_mul_ps(v2, weight));
    }
    acc0 = _mm_mul_ps(acc0, _mm_shuffle_ps(wx, wx, _MM_SHUFFLE(1, 0, 0, 0)));
    acc1 = _mm_mul_ps(acc1, _mm_shuffle_ps(wx, wx, _MM_SHUFFLE(2, 2, 1, 1)));
    acc2 = _mm_mul_ps(acc2, _mm_shuffle_ps(wx, wx, _MM_SHUFFLE(3, 3, 3, 2)));
    StoreFast8(acc0, acc1, acc2, pass, out);
}

#endif

#if defined(QUILLON_HAVE_AVX2_PATH)

// Bytes 0..7 of block row r as eight floats.
__attribute__((target("avx2,fma"), always_inline)) inline __m256 Head8(
    const std::uint8_t* const* rows, int r) {
    return _mm256_cvtepi32_ps(
        _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[r]))));
}

// Bytes 8..11 of block rows r and r + 1 as eight floats.
__attribute__((target("avx2,fma"), always_inline)) inline __m256 Tails8(
    const std::uint8_t* const* rows, int r) {
    std::uint32_t a, b;
    std::memcpy(&a, rows[r] + 8, 4);
    std::memcpy(&b, rows[r + 1] + 8, 4);
#if defined(__x86_64__)
    const __m128i both =
        _mm_cvtsi64_si128(static_cast<long long>((static_cast<std::uint64_t>(b) << 32) | a));
#else  // i386 has no 64-bit moves into vector registers
    const __m128i both = _mm_set_epi32(0, 0, static_cast<int>(b), static_cast<int>(a));
#endif
    return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(both));
}

// The Keys weights of the four taps, as the one-pixel form holds them across
// its lanes: tap m is the cubic at t = f * scale + offset.
constexpr float kTapScale[4] = {1.f, 1.f, -1.f, -1.f};
constexpr float kTapOffset[4] = {1.f, 0.f, 1.f, 2.f};
constexpr float kTapCubic[4] = {-0.75f, 1.25f, 1.25f, -0.75f};
constexpr float kTapSquare[4] = {3.75f, -2.25f, -2.25f, 3.75f};
constexpr float kTapLinear[4] = {-6.f, 0.f, 0.f, -6.f};
constexpr float kTapConstant[4] = {3.f, 1.f, 1.f, 3.f};

// The block rows of one pixel weighted by its row weights (w + 4..7) and
// summed: bytes 0..7 of the rows in `heads`, bytes 8..11 of rows 0 and 1 in
// the halves of `tailSums` and those of rows 2 and 3 added to them.
__attribute__((target("avx2,fma"), always_inline)) inline void WeighRows8(
    const std::uint8_t* const* rows, const float* w, __m256& heads, __m256& tailSums) {
    // Row weight r across a vector, straight from memory.
    const __m256 wy0 = _mm256_broadcast_ss(w + 4);
    const __m256 wy1 = _mm256_broadcast_ss(w + 5);
    const __m256 wy2 = _mm256_broadcast_ss(w + 6);
    const __m256 wy3 = _mm256_broadcast_ss(w + 7);
    heads = _mm256_fmadd_ps(
        Head8(rows, 3), wy3,
        _mm256_fmadd_ps(Head8(rows, 2), wy2,
                        _mm256_fmadd_ps(Head8(rows, 1), wy1, _mm256_mul_ps(Head8(rows, 0), wy0))));
    tailSums = _mm256_fmadd_ps(Tails8(rows, 2), _mm256_blend_ps(wy2, wy3, 0xF0),
                               _mm256_mul_ps(Tails8(rows, 0), _mm256_blend_ps(wy0, wy1, 0xF0)));
}

// Two neighbouring pixels of a pass that writes every channel, from their
// weighted rows (WeighRows8) and column weights: the columns weighted, the
// channels gathered and the levels made as StoreFast8 does for one, each
// pixel in a half of the vectors, so the work after the rows is shared.
__attribute__((target("avx2,fma"), always_inline)) inline void StorePair8(
    __m256 headsA, __m256 tailsA, const float* wA, __m256 headsB, __m256 tailsB, const float* wB,
    std::uint8_t* out) {
    const __m256 wx = _mm256_setr_m128(_mm_load_ps(wA), _mm_load_ps(wB));
    const __m256 low = _mm256_permute2f128_ps(headsA, headsB, 0x20);
    const __m256 high = _mm256_permute2f128_ps(headsA, headsB, 0x31);
    const __m256 tails = _mm256_add_ps(_mm256_permute2f128_ps(tailsA, tailsB, 0x20),
                                       _mm256_permute2f128_ps(tailsA, tailsB, 0x31));
    const __m256 acc0 = _mm256_mul_ps(low, _mm256_shuffle_ps(wx, wx, _MM_SHUFFLE(1, 0, 0, 0)));
    const __m256 acc1 = _mm256_mul_ps(high, _mm256_shuffle_ps(wx, wx, _MM_SHUFFLE(2, 2, 1, 1)));
    const __m256 acc2 = _mm256_mul_ps(tails, _mm256_shuffle_ps(wx, wx, _MM_SHUFFLE(3, 3, 3, 2)));
    const __m256 ab = _mm256_unpackhi_ps(acc0, acc1);
    const __m256 third = _mm256_shuffle_ps(ab, acc2, _MM_SHUFFLE(3, 3, 3, 2));
    const __m256 fromB = _mm256_shuffle_ps(acc1, acc1, _MM_SHUFFLE(3, 1, 0, 2));
    const __m256 fromC = _mm256_shuffle_ps(acc2, acc2, _MM_SHUFFLE(3, 0, 2, 1));
    const __m256 sum = _mm256_add_ps(_mm256_add_ps(acc0, third), _mm256_add_ps(fromB, fromC));
    __m256i q = _mm256_cvttps_epi32(_mm256_mul_ps(sum, _mm256_set1_ps(16.0f)));
    q = _mm256_andnot_si256(_mm256_srai_epi32(q, 31), q);
    q = _mm256_srli_epi32(_mm256_add_epi32(q, _mm256_set1_epi32(8)), 4);
    const __m256i packed = _mm256_packus_epi16(_mm256_packs_epi32(q, q), q);
    const auto a = static_cast<std::uint32_t>(_mm256_cvtsi256_si32(packed));
    const auto b =
        static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm256_extracti128_si256(packed, 1)));
    // r g b of the first pixel, then those of the second: six bytes.
    const std::uint32_t first4 = (a & 0xFFFFFFu) | (b << 24);
    const auto last2 = static_cast<std::uint16_t>(b >> 8);
    std::memcpy(out, &first4, 4);
    std::memcpy(out + 4, &last2, 2);
}

// The 8-bit rule with 256-bit vectors and fused multiply-adds, for machines
// that have them (chosen at run time; the build itself targets every x86-64,
// and every i386 with SSE2).
// Widening eight bytes at once halves the unpacking, which is most of the
// work. Same tolerance as the 128-bit form.
//
// A row goes in chunks, each in two loops. The first turns positions into
// block addresses and kernel weights; the second only loads, weights and
// stores. Done in one loop, every pixel's chain from its position through
// the address to the loaded block and on to the stored result was so long
// that the processor could keep only a few pixels in flight; split, the
// address and weight work of a chunk overlaps freely and the resampling loop
// starts each pixel's loads at once. The arithmetic is the same operation for
// operation, so the results are too.
__attribute__((target("avx2,fma"))) void RemapRow8Avx2(const ImageBuffer& source, const double* xs,
                                                       const double* ys, const std::uint8_t* valid,
                                                       std::int32_t width, const PassChannels& pass,
                                                       std::uint8_t* out) {
    const __m256 tScale = _mm256_setr_ps(1.f, 1.f, -1.f, -1.f, 1.f, 1.f, -1.f, -1.f);
    const __m256 tOffset = _mm256_setr_ps(1.f, 0.f, 1.f, 2.f, 1.f, 0.f, 1.f, 2.f);
    const __m256 k3 = _mm256_setr_ps(-0.75f, 1.25f, 1.25f, -0.75f, -0.75f, 1.25f, 1.25f, -0.75f);
    const __m256 k2 = _mm256_setr_ps(3.75f, -2.25f, -2.25f, 3.75f, 3.75f, -2.25f, -2.25f, 3.75f);
    const __m256 k1 = _mm256_setr_ps(-6.f, 0.f, 0.f, -6.f, -6.f, 0.f, 0.f, -6.f);
    const __m256 k0 = _mm256_setr_ps(3.f, 1.f, 1.f, 3.f, 3.f, 1.f, 1.f, 3.f);
    const std::int64_t stride = source.rowBytes;
    // Small enough for the chunk's work memory to stay in the first-level
    // cache, large enough for the loop overhead to vanish.
    constexpr std::int32_t kChunk = 64;
    // Per pixel: column weights in 0..3, row weights in 4..7.
    alignas(32) float weights[kChunk][8];
    // First sample of the block inside the source, or null for a block that
    // needs border handling (its corner is then in blockX, blockY).
    const std::uint8_t* first[kChunk];
    std::int32_t blockX[kChunk];
    std::int32_t blockY[kChunk];
    std::uint8_t scratch[4][12];

    for (std::int32_t j0 = 0; j0 < width; j0 += kChunk) {
        const std::int32_t n = std::min(kChunk, width - j0);
        std::int32_t i = 0;
        for (; i + 4 <= n; i += 4) {
            const std::int32_t j = j0 + i;
            const __m256d x = _mm256_loadu_pd(xs + j);
            const __m256d y = _mm256_loadu_pd(ys + j);
            // Valid positions are >= -1, so adding 2 makes truncation a floor.
            // (Invalid ones may truncate to anything; they are skipped below.)
            const __m256d two = _mm256_set1_pd(2.0);
            const __m128i ix =
                _mm_sub_epi32(_mm256_cvttpd_epi32(_mm256_add_pd(x, two)), _mm_set1_epi32(2));
            const __m128i iy =
                _mm_sub_epi32(_mm256_cvttpd_epi32(_mm256_add_pd(y, two)), _mm_set1_epi32(2));
            // The four column fractions, then the four row fractions.
            const __m256 f =
                _mm256_setr_m128(_mm256_cvtpd_ps(_mm256_sub_pd(x, _mm256_cvtepi32_pd(ix))),
                                 _mm256_cvtpd_ps(_mm256_sub_pd(y, _mm256_cvtepi32_pd(iy))));
            // Each tap's weight for all eight fractions, lane by lane as the
            // one-pixel form below computes it, then turned into four rows of
            // column weights and row weights.
            __m256 taps[4];
            for (int m = 0; m < 4; ++m) {
                const __m256 t =
                    _mm256_fmadd_ps(f, _mm256_set1_ps(kTapScale[m]), _mm256_set1_ps(kTapOffset[m]));
                __m256 k =
                    _mm256_fmadd_ps(_mm256_set1_ps(kTapCubic[m]), t, _mm256_set1_ps(kTapSquare[m]));
                k = _mm256_fmadd_ps(k, t, _mm256_set1_ps(kTapLinear[m]));
                taps[m] = _mm256_fmadd_ps(k, t, _mm256_set1_ps(kTapConstant[m]));
            }
            const __m256 a = _mm256_unpacklo_ps(taps[0], taps[1]);
            const __m256 b = _mm256_unpacklo_ps(taps[2], taps[3]);
            const __m256 c = _mm256_unpackhi_ps(taps[0], taps[1]);
            const __m256 d = _mm256_unpackhi_ps(taps[2], taps[3]);
            _mm256_store_ps(weights[i], _mm256_shuffle_ps(a, b, _MM_SHUFFLE(1, 0, 1, 0)));
            _mm256_store_ps(weights[i + 1], _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 2, 3, 2)));
            _mm256_store_ps(weights[i + 2], _mm256_shuffle_ps(c, d, _MM_SHUFFLE(1, 0, 1, 0)));
            _mm256_store_ps(weights[i + 3], _mm256_shuffle_ps(c, d, _MM_SHUFFLE(3, 2, 3, 2)));
            alignas(16) std::int32_t x0s[4];
            alignas(16) std::int32_t y0s[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(x0s), _mm_sub_epi32(ix, _mm_set1_epi32(1)));
            _mm_store_si128(reinterpret_cast<__m128i*>(y0s), _mm_sub_epi32(iy, _mm_set1_epi32(1)));
            for (int q = 0; q < 4; ++q) {
                if (!valid[j + q]) continue;
                const std::int32_t x0 = x0s[q];
                const std::int32_t y0 = y0s[q];
                if (x0 >= 0 && x0 <= source.width - 4 && y0 >= 0 && y0 <= source.height - 4) {
                    first[i + q] = source.Row(y0) + 3 * x0;
                } else {
                    first[i + q] = nullptr;
                    blockX[i + q] = x0;
                    blockY[i + q] = y0;
                }
            }
        }
        for (; i < n; ++i) {
            const std::int32_t j = j0 + i;
            if (!valid[j]) continue;
            // Valid positions are >= -1, so adding 2 makes truncation a floor.
            const std::int32_t ix = static_cast<std::int32_t>(xs[j] + 2.0) - 2;
            const std::int32_t iy = static_cast<std::int32_t>(ys[j] + 2.0) - 2;
            const auto fx = static_cast<float>(xs[j] - ix);
            const auto fy = static_cast<float>(ys[j] - iy);
            const std::int32_t x0 = ix - 1;
            const std::int32_t y0 = iy - 1;
            if (x0 >= 0 && x0 <= source.width - 4 && y0 >= 0 && y0 <= source.height - 4) {
                first[i] = source.Row(y0) + 3 * x0;
            } else {
                first[i] = nullptr;
                blockX[i] = x0;
                blockY[i] = y0;
            }
            const __m256 f = _mm256_setr_m128(_mm_set1_ps(fx), _mm_set1_ps(fy));
            const __m256 t = _mm256_fmadd_ps(f, tScale, tOffset);
            __m256 k = _mm256_fmadd_ps(k3, t, k2);
            k = _mm256_fmadd_ps(k, t, k1);
            k = _mm256_fmadd_ps(k, t, k0);
            _mm256_store_ps(weights[i], k);
        }

        std::uint8_t* pixel = out + 3 * static_cast<std::int64_t>(j0);
        for (i = 0; i < n;) {
            // Two neighbours inside the source, of a pass that writes all
            // channels: the common case, done as a pair.
            if (pass.all && i + 1 < n && valid[j0 + i] && valid[j0 + i + 1] &&
                first[i] != nullptr && first[i + 1] != nullptr) {
                const std::uint8_t* rowsA[4];
                const std::uint8_t* rowsB[4];
                InsideBlockRows(first[i], stride, rowsA);
                InsideBlockRows(first[i + 1], stride, rowsB);
                __m256 headsA, tailsA, headsB, tailsB;
                WeighRows8(rowsA, weights[i], headsA, tailsA);
                WeighRows8(rowsB, weights[i + 1], headsB, tailsB);
                StorePair8(headsA, tailsA, weights[i], headsB, tailsB, weights[i + 1], pixel);
                i += 2;
                pixel += 6;
                continue;
            }
            if (!valid[j0 + i]) {
                for (int c = 0; c < 3; ++c) {
                    if (pass.write[c]) pixel[c] = 0;
                }
                ++i;
                pixel += 3;
                continue;
            }
            const std::uint8_t* rows[4];
            if (first[i] != nullptr) {
                InsideBlockRows(first[i], stride, rows);
            } else {
                AssembleBorderBlock(source, blockX[i], blockY[i], scratch, rows);
            }
            const float* w = weights[i];
            __m256 heads, tailSums;
            WeighRows8(rows, w, heads, tailSums);
            const __m128 wx = _mm_load_ps(w);
            // Heads (bytes 0..7 of the four block rows) and tails (bytes
            // 8..11, two rows to a vector), weighted by their columns.
            const __m128 acc2 =
                _mm_add_ps(_mm256_castps256_ps128(tailSums), _mm256_extractf128_ps(tailSums, 1));
            const __m128 acc0 = _mm_mul_ps(_mm256_castps256_ps128(heads),
                                           _mm_shuffle_ps(wx, wx, _MM_SHUFFLE(1, 0, 0, 0)));
            const __m128 acc1 = _mm_mul_ps(_mm256_extractf128_ps(heads, 1),
                                           _mm_shuffle_ps(wx, wx, _MM_SHUFFLE(2, 2, 1, 1)));
            StoreFast8(acc0, acc1,
                       _mm_mul_ps(acc2, _mm_shuffle_ps(wx, wx, _MM_SHUFFLE(3, 3, 3, 2))), pass,
                       pixel);
            ++i;
            pixel += 3;
        }
    }
}

// Samples 0..7 of a 16-bit block row as eight floats.
__attribute__((target("avx2,fma"), always_inline)) inline __m256 Head16(
    const std::uint16_t* const* rows, int r) {
    return _mm256_cvtepi32_ps(
        _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r]))));
}

// Samples 8..11 of 16-bit block rows r and r + 1 as eight floats.
__attribute__((target("avx2,fma"), always_inline)) inline __m256 Tails16(
    const std::uint16_t* const* rows, int r) {
    const __m128i both =
        _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[r] + 8)),
                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[r + 1] + 8)));
    return _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(both));
}

// Four Keys weights at fraction f, computed in double precision and only
// then rounded to single: weights from a single-
// precision polynomial would be off by up to a millionth, a quarter of a level
// on samples near 65535.
__attribute__((target("avx2,fma"), always_inline)) inline __m128 Weights16(double f) {
    const __m256d t = _mm256_fmadd_pd(_mm256_set1_pd(f), _mm256_setr_pd(1.0, 1.0, -1.0, -1.0),
                                      _mm256_setr_pd(1.0, 0.0, 1.0, 2.0));
    __m256d k = _mm256_fmadd_pd(_mm256_setr_pd(-0.75, 1.25, 1.25, -0.75), t,
                                _mm256_setr_pd(3.75, -2.25, -2.25, 3.75));
    k = _mm256_fmadd_pd(k, t, _mm256_setr_pd(-6.0, 0.0, 0.0, -6.0));
    k = _mm256_fmadd_pd(k, t, _mm256_setr_pd(3.0, 1.0, 1.0, 3.0));
    return _mm256_cvtpd_ps(k);
}

// The rule for one 16-bit pixel, kept out of the vector code: compiled for
// any x86-64, it cannot have its products fused into multiply-adds, so it
// gives the rule's samples exactly as the portable form does.
__attribute__((noinline)) void InterpolateExact16(const std::uint16_t* const* rows, double fx,
                                                  double fy, const PassChannels& pass,
                                                  const SampleTables& tables, std::uint16_t* out) {
    InterpolateExact(rows, fx, fy, pass, tables, out);
}

// How close to a rounding point (a half level) a single-precision result may
// fall before it is computed again by the rule. On full-range noise, where the
// sums are largest and every weight counts, the error reaches about a
// hundredth of a level, so a few samples in 10000 still come out one level
// off; a wider margin would send more pixels to the slow rule for little.
constexpr float kHalfLevelMargin = 1.0f / 256.0f;

// The 16-bit rule in single precision with 256-bit vectors, laid out as the
// 8-bit form. A float's 24 bits leave 16-bit sums only a few hundredths of a
// level to spare, enough to move a result across a rounding point now and
// then; a result that near the point is computed again by the rule.
__attribute__((target("avx2,fma"))) void RemapRow16Avx2(
    const ImageBuffer& source, const double* xs, const double* ys, const std::uint8_t* valid,
    std::int32_t width, const PassChannels& pass, const SampleTables& tables, std::uint16_t* out) {
    // Lanes 0..2 are the channels; a lane a pass does not write never sends a
    // pixel to the rule.
    const __m128 written = _mm_castsi128_ps(
        _mm_setr_epi32(pass.write[0] ? -1 : 0, pass.write[1] ? -1 : 0, pass.write[2] ? -1 : 0, 0));
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 margin = _mm_set1_ps(kHalfLevelMargin);
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 top = _mm_set1_ps(65535.0f);
    const std::int64_t stride = source.rowBytes / static_cast<std::int64_t>(sizeof(std::uint16_t));
    // Chunks in two loops, as in the 8-bit form: positions to addresses and
    // weights first, then only loads, sums and stores.
    constexpr std::int32_t kChunk = 64;
    alignas(32) float weights[kChunk][8];
    const std::uint16_t* first[kChunk];
    std::int32_t blockX[kChunk];
    std::int32_t blockY[kChunk];
    std::uint16_t scratch[4][12];

    for (std::int32_t j0 = 0; j0 < width; j0 += kChunk) {
        const std::int32_t n = std::min(kChunk, width - j0);
        for (std::int32_t i = 0; i < n; ++i) {
            const std::int32_t j = j0 + i;
            if (!valid[j]) continue;
            const std::int32_t ix = static_cast<std::int32_t>(xs[j] + 2.0) - 2;
            const std::int32_t iy = static_cast<std::int32_t>(ys[j] + 2.0) - 2;
            const std::int32_t x0 = ix - 1;
            const std::int32_t y0 = iy - 1;
            if (x0 >= 0 && x0 <= source.width - 4 && y0 >= 0 && y0 <= source.height - 4) {
                first[i] = reinterpret_cast<const std::uint16_t*>(source.Row(y0)) + 3 * x0;
            } else {
                first[i] = nullptr;
            }
            blockX[i] = x0;
            blockY[i] = y0;
            _mm256_store_ps(weights[i],
                            _mm256_setr_m128(Weights16(xs[j] - ix), Weights16(ys[j] - iy)));
        }

        std::uint16_t* pixel = out + 3 * static_cast<std::int64_t>(j0);
        for (std::int32_t i = 0; i < n; ++i, pixel += 3) {
            if (!valid[j0 + i]) {
                for (int c = 0; c < 3; ++c) {
                    if (pass.write[c]) pixel[c] = 0;
                }
                continue;
            }
            const std::uint16_t* rows[4];
            if (first[i] != nullptr) {
                InsideBlockRows(first[i], stride, rows);
            } else {
                AssembleBorderBlock(source, blockX[i], blockY[i], scratch, rows);
            }
            const float* w = weights[i];
            const __m128 wx = _mm_load_ps(w);
            const __m256 wy0 = _mm256_broadcast_ss(w + 4);
            const __m256 wy1 = _mm256_broadcast_ss(w + 5);
            const __m256 wy2 = _mm256_broadcast_ss(w + 6);
            const __m256 wy3 = _mm256_broadcast_ss(w + 7);
            const __m256 heads = _mm256_fmadd_ps(
                Head16(rows, 3), wy3,
                _mm256_fmadd_ps(
                    Head16(rows, 2), wy2,
                    _mm256_fmadd_ps(Head16(rows, 1), wy1, _mm256_mul_ps(Head16(rows, 0), wy0))));
            const __m256 tailSums =
                _mm256_fmadd_ps(Tails16(rows, 2), _mm256_blend_ps(wy2, wy3, 0xF0),
                                _mm256_mul_ps(Tails16(rows, 0), _mm256_blend_ps(wy0, wy1, 0xF0)));
            const __m128 acc0 = _mm_mul_ps(_mm256_castps256_ps128(heads),
                                           _mm_shuffle_ps(wx, wx, _MM_SHUFFLE(1, 0, 0, 0)));
            const __m128 acc1 = _mm_mul_ps(_mm256_extractf128_ps(heads, 1),
                                           _mm_shuffle_ps(wx, wx, _MM_SHUFFLE(2, 2, 1, 1)));
            const __m128 acc2 = _mm_mul_ps(
                _mm_add_ps(_mm256_castps256_ps128(tailSums), _mm256_extractf128_ps(tailSums, 1)),
                _mm_shuffle_ps(wx, wx, _MM_SHUFFLE(3, 3, 3, 2)));
            // Channel sums in lanes 0..2, gathered as the 8-bit form gathers them.
            const __m128 ab = _mm_unpackhi_ps(acc0, acc1);
            const __m128 third = _mm_shuffle_ps(ab, acc2, _MM_SHUFFLE(3, 3, 3, 2));
            const __m128 fromB = _mm_shuffle_ps(acc1, acc1, _MM_SHUFFLE(3, 1, 0, 2));
            const __m128 fromC = _mm_shuffle_ps(acc2, acc2, _MM_SHUFFLE(3, 0, 2, 1));
            const __m128 sum = _mm_add_ps(_mm_add_ps(acc0, third), _mm_add_ps(fromB, fromC));
            // The rule's level is the value plus a half, floored, within 0..65535.
            const __m128 lifted = _mm_add_ps(sum, half);
            const __m128 nearest =
                _mm_round_ps(lifted, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
            const __m128 close = _mm_and_ps(
                _mm_cmplt_ps(_mm_and_ps(_mm_sub_ps(lifted, nearest), absMask), margin), written);
            if (_mm_movemask_ps(close) != 0) {
                const std::int32_t j = j0 + i;
                InterpolateExact16(rows, xs[j] - (blockX[i] + 1), ys[j] - (blockY[i] + 1), pass,
                                   tables, pixel);
                continue;
            }
            const __m128i levels = _mm_cvttps_epi32(
                _mm_min_ps(_mm_max_ps(_mm_floor_ps(lifted), _mm_setzero_ps()), top));
            alignas(16) std::int32_t samples[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(samples), levels);
            for (int c = 0; c < 3; ++c) {
                if (pass.write[c]) pixel[c] = static_cast<std::uint16_t>(samples[c]);
            }
        }
    }
}

#endif

template <class T>
void RemapRow(const ImageBuffer& source, const double* xs, const double* ys,
              const std::uint8_t* valid, std::int32_t width, const PassChannels& pass,
              const SampleTables& tables, T* out) {
    T scratch[4][12];
    const T* rows[4];
    for (std::int32_t j = 0; j < width; ++j, out += 3) {
        if (!valid[j]) {
            for (int c = 0; c < 3; ++c) {
                if (pass.write[c]) out[c] = 0;
            }
            continue;
        }
        // Valid positions are >= -1, so adding 2 makes truncation a floor.
        const std::int32_t ix = static_cast<std::int32_t>(xs[j] + 2.0) - 2;
        const std::int32_t iy = static_cast<std::int32_t>(ys[j] + 2.0) - 2;
        const double fx = xs[j] - ix;
        const double fy = ys[j] - iy;
        LocateBlock(source, ix - 1, iy - 1, scratch, rows);
#if defined(__SSE2__)
        if constexpr (sizeof(T) == 1) {
            (void)tables;
            InterpolateFast8(rows, static_cast<float>(fx), static_cast<float>(fy), pass, out);
            continue;
        }
#endif
        InterpolateExact(rows, fx, fy, pass, tables, out);
    }
}

}  // namespace

int PassTermsChannel(ChannelPass pass) {
    switch (pass) {
        case ChannelPass::kAll:
        case ChannelPass::kRedGreen:
        case ChannelPass::kRedBlue:
            return 0;
        case ChannelPass::kGreenBlue:
            return 1;
        case ChannelPass::kRed:
            return 0;
        case ChannelPass::kGreen:
            return 1;
        case ChannelPass::kBlue:
            return 2;
    }
    return 0;
}

bool PassWritesChannel(ChannelPass pass, int channel) {
    switch (pass) {
        case ChannelPass::kAll:
            return true;
        case ChannelPass::kRed:
            return channel == 0;
        case ChannelPass::kGreen:
            return channel == 1;
        case ChannelPass::kBlue:
            return channel == 2;
        case ChannelPass::kRedGreen:
            return channel == 0 || channel == 1;
        case ChannelPass::kRedBlue:
            return channel == 0 || channel == 2;
        case ChannelPass::kGreenBlue:
            return channel == 1 || channel == 2;
    }
    return false;
}

double KeysKernel(double t) {
    if (t <= 1.0) return (1.25 * t - 2.25) * t * t + 1.0;
    return ((-0.75 * t + 3.75) * t - 6.0) * t + 3.0;
}

std::uint16_t SampleTables::Convert(double value) const {
    const double scaled = value * subSteps;
    if (!(scaled < static_cast<double>(levels) * subSteps)) {
        return static_cast<std::uint16_t>(levels - 1);
    }
    if (scaled < 0.0) return 0;
    return output[static_cast<std::size_t>(scaled)];
}

Status BuildSampleTables(std::int32_t bitsPerPixel, SampleTables& tables,
                         const EngineContext& context) {
    if (bitsPerPixel == 24) {
        tables.levels = 256;
        tables.subSteps = 16;
    } else if (bitsPerPixel == 48) {
        tables.levels = 65536;
        tables.subSteps = 4;
    } else {
        return StatusCode::kFailed;
    }
    const auto size =
        static_cast<std::size_t>(tables.levels) * static_cast<std::size_t>(tables.subSteps);
    try {
        if (!context.MayAllocate(size * sizeof(std::uint16_t))) throw std::bad_alloc();
        tables.output.assign(size, 0);
    } catch (const std::bad_alloc&) {
        context.sink.Show(text::kInsufficientMemory);
        return StatusCode::kFailed;
    }
    const double top = tables.levels - 1;
    for (std::size_t j = 1; j < size; ++j) {
        const double level = static_cast<double>(j) / tables.subSteps;
        tables.output[j] = static_cast<std::uint16_t>(level > top ? top : std::floor(level + 0.5));
    }
    return Status::Ok();
}

Point ExactSourcePosition(const TransformStack& stack, const RemapGeometry& g, std::int32_t column,
                          std::int32_t row) {
    const Point p = ExecuteStack(
        Point{column - CentreOffset(g.destinationWidth), row - CentreOffset(g.destinationHeight)},
        stack);
    return {p.x + CentreOffset(g.sourceWidth), p.y + CentreOffset(g.sourceHeight)};
}

void ComputeSourceRow(const TransformStack& stack, const RemapGeometry& geometry, std::int32_t row,
                      double* xs, double* ys, std::uint8_t* valid) {
    RowMapper mapper(stack, geometry, row, xs, ys, valid);
    const std::int32_t width = geometry.destinationWidth;
    // All exact points first: they do not depend on each other, so their
    // evaluations overlap instead of waiting on the filling in between.
    for (std::int32_t j = 0; j < width; j += kExactStep) mapper.Exact(j);
    mapper.Exact(width);
    for (std::int32_t lo = 0; lo < width; lo += kExactStep) {
        mapper.Fill(lo, std::min(lo + kExactStep, width));
    }
}

Status RowRemap::Ready(std::int32_t destinationWidth, const EngineContext& context) {
    const auto capacity = static_cast<std::size_t>(SourceRowCapacity(destinationWidth));
    if (xs_.size() < capacity) {
        const std::optional<ByteCount> bytes = ByteCount::Of(capacity, 2 * sizeof(double) + 1);
        if (!bytes || !context.MayAllocate(bytes->value())) return StatusCode::kFailed;
        try {
            xs_.resize(capacity);
            ys_.resize(capacity);
            valid_.resize(capacity);
        } catch (const std::bad_alloc&) {
            return StatusCode::kFailed;
        }
    }
#if defined(QUILLON_HAVE_AVX2_PATH)
    wide_ = context.allowWideVectors && HaveAvx2();
#else
    wide_ = false;
#endif
    return Status::Ok();
}

void RowRemap::Map(const TransformStack& stack, const RemapGeometry& geometry, std::int32_t row) {
    sourceHeight_ = geometry.sourceHeight;
    ComputeSourceRow(stack, geometry, row, xs_.data(), ys_.data(), valid_.data());
}

std::int32_t RowRemap::LastSourceRow(std::int32_t first, std::int32_t end) const {
    // Positions are floored as the resampling floors them; the block then
    // reaches two rows further down, clamped to the source.
    double lowest = -2.0;
    std::int32_t j = first;
#if defined(__SSE2__)
    // Four columns at a time in two independent maxima: one running maximum
    // would wait on itself at every column.
    const __m128d none = _mm_set1_pd(-2.0);
    __m128d a = none;
    __m128d b = none;
    for (; j + 3 < end; j += 4) {
        std::int32_t four;
        std::memcpy(&four, valid_.data() + j, 4);
        // Each validity byte across a 32-bit lane, then across a column's
        // 64-bit lane: all ones where the column is invalid.
        __m128i bytes = _mm_cvtsi32_si128(four);
        bytes = _mm_unpacklo_epi8(bytes, bytes);
        bytes = _mm_unpacklo_epi16(bytes, bytes);
        const __m128i invalid = _mm_cmpeq_epi32(bytes, _mm_setzero_si128());
        const __m128d low = _mm_castsi128_pd(_mm_unpacklo_epi32(invalid, invalid));
        const __m128d high = _mm_castsi128_pd(_mm_unpackhi_epi32(invalid, invalid));
        const __m128d y0 = _mm_loadu_pd(ys_.data() + j);
        const __m128d y1 = _mm_loadu_pd(ys_.data() + j + 2);
        a = _mm_max_pd(a, _mm_or_pd(_mm_andnot_pd(low, y0), _mm_and_pd(low, none)));
        b = _mm_max_pd(b, _mm_or_pd(_mm_andnot_pd(high, y1), _mm_and_pd(high, none)));
    }
    const __m128d both = _mm_max_pd(a, b);
    lowest = std::max(_mm_cvtsd_f64(both), _mm_cvtsd_f64(_mm_unpackhi_pd(both, both)));
#endif
    for (; j < end; ++j) {
        const auto u = static_cast<std::size_t>(j);
        lowest = valid_[u] && ys_[u] > lowest ? ys_[u] : lowest;
    }
    if (lowest < -1.0) return -1;
    const std::int32_t iy = static_cast<std::int32_t>(lowest + 2.0) - 2;
    return std::min(iy + 2, sourceHeight_ - 1);
}

void RowRemap::Resample(const ImageBuffer& source, ChannelPass pass, const SampleTables& tables,
                        std::int32_t first, std::int32_t end, std::uint8_t* out) const {
    const auto offset = static_cast<std::size_t>(first);
    const double* xs = xs_.data() + offset;
    const double* ys = ys_.data() + offset;
    const std::uint8_t* valid = valid_.data() + offset;
    const std::int32_t width = end - first;
    const PassChannels channels = ChannelsOf(pass);
#if defined(QUILLON_HAVE_AVX2_PATH)
    if (wide_ && source.bitsPerPixel == 24) {
        RemapRow8Avx2(source, xs, ys, valid, width, channels, out);
        return;
    }
    if (wide_) {
        RemapRow16Avx2(source, xs, ys, valid, width, channels, tables,
                       reinterpret_cast<std::uint16_t*>(out));
        return;
    }
#endif
    if (source.bitsPerPixel == 24) {
        RemapRow(source, xs, ys, valid, width, channels, tables, out);
    } else {
        RemapRow(source, xs, ys, valid, width, channels, tables,
                 reinterpret_cast<std::uint16_t*>(out));
    }
}

Status RemapBand(const ImageBuffer& source, const ImageBuffer& destination,
                 const TransformStack& stack, ChannelPass pass, const SampleTables& tables,
                 std::int32_t firstRow, std::int32_t endRow, const EngineContext& context) {
    if (firstRow >= endRow) return Status::Ok();
    RowRemap rows;
    QUILLON_RETURN_IF_ERROR(rows.Ready(destination.width, context));
    const RemapGeometry geometry{source.width, source.height, destination.width,
                                 destination.height};
    for (std::int32_t row = firstRow; row < endRow; ++row) {
        // Counted as they are begun, a few at a time: a progress display needs
        // no more, and the counter is shared by every band.
        constexpr std::int32_t kRowsPerReport = 32;
        if (context.progress != nullptr && (row - firstRow) % kRowsPerReport == 0) {
            context.progress->AddRows(std::min(kRowsPerReport, endRow - row));
        }
        rows.Map(stack, geometry, row);
        rows.Resample(source, pass, tables, 0, destination.width, destination.Row(row));
    }
    return Status::Ok();
}

Status RemapImage(const ImageBuffer& source, const ImageBuffer& destination,
                  const TransformStack& stack, ChannelPass pass, EngineContext& context) {
    QUILLON_RETURN_IF_ERROR(CheckImage(source, context.sink));
    QUILLON_RETURN_IF_ERROR(CheckImage(destination, context.sink));
    if (source.bitsPerPixel != destination.bitsPerPixel || PixelsOverlap(source, destination)) {
        return StatusCode::kFailed;
    }
    SampleTables tables;
    QUILLON_RETURN_IF_ERROR(BuildSampleTables(source.bitsPerPixel, tables, context));
    if (context.progress != nullptr) context.progress->BeginStage(destination.height);

    const Status status =
        FanOutBands(context.pool, destination.height, [&](std::int32_t first, std::int32_t end) {
            return RemapBand(source, destination, stack, pass, tables, first, end, context);
        });
    // Bands fail only for want of memory; say so once, not once per band.
    if (!status.ok()) context.sink.Show(text::kInsufficientMemory);
    return status;
}

}  // namespace quillon::engine
