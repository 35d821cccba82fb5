#include "engine/remap.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "engine/image_ops.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon::engine {

namespace {

// The stack is evaluated exactly every this many columns; the subdivision
// decides how much of each gap may be filled by additions.
constexpr std::int32_t kExactStep = 40;

constexpr std::string_view kInsufficientMemory = "Insufficient memory";

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
          sourceY0_(CentreOffset(g.sourceHeight)) {}

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
        const double stepX = (xs_[hi] - xs_[lo]) / (hi - lo);
        const double stepY = (ys_[hi] - ys_[lo]) / (hi - lo);
        double x = xs_[lo];
        double y = ys_[lo];
        for (std::int32_t j = lo + 1; j < hi; ++j) {
            x += stepX;
            y += stepY;
            xs_[j] = x;
            ys_[j] = y;
            valid_[j] = IsValidPosition(x, y, g_.sourceWidth, g_.sourceHeight) ? 1 : 0;
        }
    }

    void Fill(std::int32_t lo, std::int32_t hi) {
        if (hi - lo < 2) return;
        if (!valid_[lo] && !valid_[hi]) {
            for (std::int32_t j = lo + 1; j < hi; ++j) valid_[j] = 0;
            return;
        }
        const std::int32_t mid = (lo + hi) / 2;
        Exact(mid);
        const double t = static_cast<double>(mid - lo) / (hi - lo);
        const double predictedX = xs_[lo] + (xs_[hi] - xs_[lo]) * t;
        const double predictedY = ys_[lo] + (ys_[hi] - ys_[lo]) * t;
        if (std::fabs(predictedX - xs_[mid]) <= 1.0 && std::fabs(predictedY - ys_[mid]) <= 1.0) {
            if (valid_[lo] && valid_[mid]) {
                Linear(lo, mid);
            } else {
                ExactInside(lo, mid);
            }
            if (valid_[mid] && valid_[hi]) {
                Linear(mid, hi);
            } else {
                ExactInside(mid, hi);
            }
            return;
        }
        Fill(lo, mid);
        Fill(mid, hi);
    }

  private:
    const TransformStack& stack_;
    const RemapGeometry& g_;
    double* xs_;
    double* ys_;
    std::uint8_t* valid_;
    double destinationX0_;
    double destinationY_;
    double sourceX0_;
    double sourceY0_;
};

// Which of the three channels a pass writes, as byte masks.
struct PassChannels {
    bool write[3];
};

PassChannels ChannelsOf(ChannelPass pass) {
    return {{PassWritesChannel(pass, 0), PassWritesChannel(pass, 1), PassWritesChannel(pass, 2)}};
}

// Pointers to the first sample of each of the four block rows: straight into
// the source when the block lies inside it, else into `scratch`, assembled with
// clamped rows and columns so the edge pixels repeat.
template <class T>
bool LocateBlock(const ImageBuffer& source, std::int32_t x0, std::int32_t y0, T (&scratch)[4][12],
                 const T* (&rows)[4]) {
    const std::int32_t w = source.width;
    const std::int32_t h = source.height;
    if (x0 >= 0 && x0 <= w - 4 && y0 >= 0 && y0 <= h - 4) {
        for (int r = 0; r < 4; ++r) {
            rows[r] = reinterpret_cast<const T*>(source.Row(y0 + r)) + 3 * x0;
        }
        return true;
    }
    for (int r = 0; r < 4; ++r) {
        const std::int32_t y = std::clamp(y0 + r, 0, h - 1);
        const T* line = reinterpret_cast<const T*>(source.Row(y));
        for (int c = 0; c < 4; ++c) {
            const std::int32_t x = std::clamp(x0 + c, 0, w - 1);
            std::memcpy(&scratch[r][3 * c], line + 3 * x, 3 * sizeof(T));
        }
        rows[r] = scratch[r];
    }
    return false;
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

// Single-precision form of the rule for 8-bit samples. Its error (a few
// 1e-5 of a level) moves a result across a 1/16 step only rarely, and then by
// one level at most; the engine tests hold it to that against the rule.
inline void InterpolateFast8(const std::uint8_t* const* rows, float fx, float fy,
                             const PassChannels& pass, std::uint8_t* out) {
    const __m128 wx = KeysWeights(fx);
    const __m128 wy = KeysWeights(fy);
    const __m128 w0 = _mm_shuffle_ps(wx, wx, _MM_SHUFFLE(1, 0, 0, 0));
    const __m128 w1 = _mm_shuffle_ps(wx, wx, _MM_SHUFFLE(2, 2, 1, 1));
    const __m128 w2 = _mm_shuffle_ps(wx, wx, _MM_SHUFFLE(3, 3, 3, 2));
    __m128 acc0 = _mm_setzero_ps();
    __m128 acc1 = _mm_setzero_ps();
    __m128 acc2 = _mm_setzero_ps();
    alignas(16) float wyLanes[4];
    _mm_store_ps(wyLanes, wy);
    for (int r = 0; r < 4; ++r) {
        __m128 v0, v1, v2;
        LoadBlockRow(rows[r], v0, v1, v2);
        const __m128 rowWeight = _mm_set1_ps(wyLanes[r]);
        acc0 = _mm_add_ps(acc0, _mm_mul_ps(_mm_mul_ps(v0, w0), rowWeight));
        acc1 = _mm_add_ps(acc1, _mm_mul_ps(_mm_mul_ps(v1, w1), rowWeight));
        acc2 = _mm_add_ps(acc2, _mm_mul_ps(_mm_mul_ps(v2, w2), rowWeight));
    }
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
    if (pass.write[0]) out[0] = static_cast<std::uint8_t>(rgb);
    if (pass.write[1]) out[1] = static_cast<std::uint8_t>(rgb >> 8);
    if (pass.write[2]) out[2] = static_cast<std::uint8_t>(rgb >> 16);
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
                         platform::MessageSink& sink) {
    if (bitsPerPixel == 24) {
        tables.levels = 256;
        tables.subSteps = 16;
    } else if (bitsPerPixel == 48) {
        tables.levels = 65536;
        tables.subSteps = 4;
    } else {
        return Status(1);
    }
    const auto size =
        static_cast<std::size_t>(tables.levels) * static_cast<std::size_t>(tables.subSteps);
    try {
        tables.output.assign(size, 0);
    } catch (const std::bad_alloc&) {
        sink.Show(kInsufficientMemory);
        return Status(1);
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
    mapper.Exact(0);
    std::int32_t lo = 0;
    while (lo < width) {
        const std::int32_t hi = std::min(lo + kExactStep, width);
        mapper.Exact(hi);
        mapper.Fill(lo, hi);
        lo = hi;
    }
}

Status RemapBand(const ImageBuffer& source, const ImageBuffer& destination,
                 const TransformStack& stack, ChannelPass pass, const SampleTables& tables,
                 std::int32_t firstRow, std::int32_t endRow) {
    if (firstRow >= endRow) return Status::Ok();
    const auto capacity = static_cast<std::size_t>(SourceRowCapacity(destination.width));
    std::unique_ptr<double[]> xs(new (std::nothrow) double[capacity]);
    std::unique_ptr<double[]> ys(new (std::nothrow) double[capacity]);
    std::unique_ptr<std::uint8_t[]> valid(new (std::nothrow) std::uint8_t[capacity]);
    if (!xs || !ys || !valid) return Status(1);

    const RemapGeometry geometry{source.width, source.height, destination.width,
                                 destination.height};
    const PassChannels channels = ChannelsOf(pass);
    for (std::int32_t row = firstRow; row < endRow; ++row) {
        ComputeSourceRow(stack, geometry, row, xs.get(), ys.get(), valid.get());
        if (destination.bitsPerPixel == 24) {
            RemapRow(source, xs.get(), ys.get(), valid.get(), destination.width, channels, tables,
                     destination.Row(row));
        } else {
            RemapRow(source, xs.get(), ys.get(), valid.get(), destination.width, channels, tables,
                     reinterpret_cast<std::uint16_t*>(destination.Row(row)));
        }
    }
    return Status::Ok();
}

Status RemapImage(const ImageBuffer& source, const ImageBuffer& destination,
                  const TransformStack& stack, ChannelPass pass, EngineContext& context) {
    QUILLON_RETURN_IF_ERROR(CheckImage(source, context.sink));
    QUILLON_RETURN_IF_ERROR(CheckImage(destination, context.sink));
    if (source.bitsPerPixel != destination.bitsPerPixel) return Status(1);
    SampleTables tables;
    QUILLON_RETURN_IF_ERROR(BuildSampleTables(source.bitsPerPixel, tables, context.sink));

    const Status status =
        FanOutBands(context.pool, destination.height, [&](std::int32_t first, std::int32_t end) {
            return RemapBand(source, destination, stack, pass, tables, first, end);
        });
    // Bands fail only for want of memory; say so once, not once per band.
    if (!status.ok()) context.sink.Show(kInsufficientMemory);
    return status;
}

}  // namespace quillon::engine
