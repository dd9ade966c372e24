// SSE2 and AVX2 row kernels. Each computes exactly what the scalar kernels compute: the colour
// sums stay within signed 16 bits, and the bilinear floors come from the signed high product
// corrected for fractions at or above one half.
#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <cstring>

#include "engine/output/picture_convert_kernels.h"

namespace {

inline uint16_t LoadPair(const uint8_t *p)
{
    uint16_t pair;
    std::memcpy(&pair, p, 2);
    return pair;
}

// ---- SSE2 ----

struct Sse2Rgb
{
    __m128i r, g, b; // 8 pixels each, clamped to 0..255 in 16-bit lanes
};

inline void Sse2ChromaTerms(const uint8_t *u, const uint8_t *v, __m128i *tr, __m128i *tg,
                            __m128i *tb)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi16(128);
    const __m128i cu = _mm_sub_epi16(
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(u)), zero), bias);
    const __m128i cv = _mm_sub_epi16(
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(v)), zero), bias);
    *tr = _mm_mullo_epi16(cv, _mm_set1_epi16(kYuvFactorRV));
    *tg = _mm_sub_epi16(zero, _mm_add_epi16(_mm_mullo_epi16(cu, _mm_set1_epi16(kYuvFactorGU)),
                                            _mm_mullo_epi16(cv, _mm_set1_epi16(kYuvFactorGV))));
    *tb = _mm_mullo_epi16(cu, _mm_set1_epi16(kYuvFactorBU));
}

inline __m128i Sse2Channel(__m128i luma64, __m128i term)
{
    const __m128i sum = _mm_srai_epi16(_mm_add_epi16(luma64, term), 6);
    return _mm_min_epi16(_mm_max_epi16(sum, _mm_setzero_si128()), _mm_set1_epi16(255));
}

// 16 pixels of one row: two groups of 8 sharing the chroma terms t* (8 chroma samples).
inline void Sse2Row16(const uint8_t *y, __m128i tr, __m128i tg, __m128i tb, Sse2Rgb out[2])
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i *>(y));
    const __m128i l[2] = {_mm_slli_epi16(_mm_unpacklo_epi8(luma, zero), 6),
                          _mm_slli_epi16(_mm_unpackhi_epi8(luma, zero), 6)};
    const __m128i r[2] = {_mm_unpacklo_epi16(tr, tr), _mm_unpackhi_epi16(tr, tr)};
    const __m128i g[2] = {_mm_unpacklo_epi16(tg, tg), _mm_unpackhi_epi16(tg, tg)};
    const __m128i b[2] = {_mm_unpacklo_epi16(tb, tb), _mm_unpackhi_epi16(tb, tb)};
    for (int h = 0; h < 2; ++h)
        out[h] = {Sse2Channel(l[h], r[h]), Sse2Channel(l[h], g[h]), Sse2Channel(l[h], b[h])};
}

inline __m128i Sse2Pack565(const Sse2Rgb &p)
{
    const __m128i r = _mm_slli_epi16(_mm_and_si128(p.r, _mm_set1_epi16(0xF8)), 8);
    const __m128i g = _mm_slli_epi16(_mm_and_si128(p.g, _mm_set1_epi16(0xFC)), 3);
    return _mm_or_si128(_mm_or_si128(r, g), _mm_srli_epi16(p.b, 3));
}

// The 16-pixel steps over a pair of rows. kSpare pixels must follow a step for the junk its
// stores leave to land inside the row. Returns where the scalar finish starts.
template <int kBytesPerPixel, int kSpare, class Store>
int32_t Sse2PairSteps(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1,
                      const uint8_t *u, const uint8_t *v, int32_t width, Store store)
{
    int32_t x = 0;
    for (; x + 16 + kSpare <= width; x += 16) {
        __m128i tr, tg, tb;
        Sse2ChromaTerms(u + x / 2, v + x / 2, &tr, &tg, &tb);
        Sse2Rgb p[2];
        Sse2Row16(y0 + x, tr, tg, tb, p);
        store(d0 + kBytesPerPixel * x, p);
        Sse2Row16(y1 + x, tr, tg, tb, p);
        store(d1 + kBytesPerPixel * x, p);
    }
    return x;
}

void Sse2Rgb565Rows(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1,
                    const uint8_t *u, const uint8_t *v, int32_t width)
{
    const int32_t x =
        Sse2PairSteps<2, 0>(d0, d1, y0, y1, u, v, width, [](uint8_t *d, const Sse2Rgb *p) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(d), Sse2Pack565(p[0]));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 16), Sse2Pack565(p[1]));
        });
    Rgb565RowsFrom(x, d0, d1, y0, y1, u, v, width);
}

// Writes the 4 pixels (B, G, R, 0 dwords) as 12 bytes and 2 bytes of junk after them, which
// the next group overwrites.
inline void Sse2Store4Bgr(uint8_t *d, __m128i dwords)
{
    const __m128i low = _mm_and_si128(dwords, _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF));
    const __m128i high =
        _mm_srli_epi64(_mm_and_si128(dwords, _mm_set_epi32(0x00FFFFFF, 0, 0x00FFFFFF, 0)), 8);
    const __m128i packed = _mm_or_si128(low, high);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(d), packed);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(d + 6), _mm_srli_si128(packed, 8));
}

inline void Sse2StoreBgr8(uint8_t *d, const Sse2Rgb &p)
{
    const __m128i bg = _mm_or_si128(p.b, _mm_slli_epi16(p.g, 8));
    Sse2Store4Bgr(d, _mm_unpacklo_epi16(bg, p.r));
    Sse2Store4Bgr(d + 12, _mm_unpackhi_epi16(bg, p.r));
}

void Sse2Bgr24Rows(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1,
                   const uint8_t *u, const uint8_t *v, int32_t width)
{
    // The last group's 2 junk bytes need one more pixel in the row to land on.
    const int32_t x =
        Sse2PairSteps<3, 1>(d0, d1, y0, y1, u, v, width, [](uint8_t *d, const Sse2Rgb *p) {
            Sse2StoreBgr8(d, p[0]);
            Sse2StoreBgr8(d + 24, p[1]);
        });
    Bgr24RowsFrom(x, d0, d1, y0, y1, u, v, width);
}

// floor(f * d / 65536) for f in 0..65535 and small signed d.
inline __m128i Sse2FracMul(__m128i f, __m128i d)
{
    return _mm_add_epi16(_mm_mulhi_epi16(f, d), _mm_and_si128(_mm_srai_epi16(f, 15), d));
}

inline __m128i Sse2GatherPairs(const uint8_t *src, const int32_t *ix)
{
    __m128i pairs = _mm_setzero_si128();
    pairs = _mm_insert_epi16(pairs, LoadPair(src + ix[0]), 0);
    pairs = _mm_insert_epi16(pairs, LoadPair(src + ix[1]), 1);
    pairs = _mm_insert_epi16(pairs, LoadPair(src + ix[2]), 2);
    pairs = _mm_insert_epi16(pairs, LoadPair(src + ix[3]), 3);
    pairs = _mm_insert_epi16(pairs, LoadPair(src + ix[4]), 4);
    pairs = _mm_insert_epi16(pairs, LoadPair(src + ix[5]), 5);
    pairs = _mm_insert_epi16(pairs, LoadPair(src + ix[6]), 6);
    pairs = _mm_insert_epi16(pairs, LoadPair(src + ix[7]), 7);
    return pairs;
}

inline __m128i Sse2Lerp8(__m128i pairs, __m128i f)
{
    const __m128i a = _mm_and_si128(pairs, _mm_set1_epi16(0xFF));
    const __m128i b = _mm_srli_epi16(pairs, 8);
    return _mm_add_epi16(a, Sse2FracMul(f, _mm_sub_epi16(b, a)));
}

void Sse2HorizontalRow(int16_t *out, const uint8_t *src, const HorizontalTable *t)
{
    int32_t i = 0;
    for (; i + 8 <= t->nPairs; i += 8) {
        const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i *>(&t->fx[i]));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i),
                         Sse2Lerp8(Sse2GatherPairs(src, &t->ix[i]), f));
    }
    HorizontalRowFrom(i, out, src, t);
}

void Sse2VerticalRow(uint8_t *out, const int16_t *top, const int16_t *bottom, uint32_t fy,
                     int32_t width)
{
    const __m128i f = _mm_set1_epi16(static_cast<int16_t>(fy & 0xFFFF));
    int32_t i = 0;
    for (; i + 16 <= width; i += 16) {
        __m128i v[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(top + i + 8 * h));
            const __m128i b =
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(bottom + i + 8 * h));
            v[h] = _mm_add_epi16(a, Sse2FracMul(f, _mm_sub_epi16(b, a)));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_packus_epi16(v[0], v[1]));
    }
    VerticalRowFrom(i, out, top, bottom, fy, width);
}

// ---- AVX2 ----

#define ROADLOG_AVX2 __attribute__((target("avx2")))

struct Avx2Rgb
{
    __m256i r, g, b; // 16 pixels each, clamped to 0..255 in 16-bit lanes
};

ROADLOG_AVX2 inline __m256i Avx2Channel(__m256i luma64, __m256i term)
{
    const __m256i sum = _mm256_srai_epi16(_mm256_add_epi16(luma64, term), 6);
    return _mm256_min_epi16(_mm256_max_epi16(sum, _mm256_setzero_si256()),
                            _mm256_set1_epi16(255));
}

// Chroma terms of 8 samples, each doubled for its two pixels: 16 lanes.
ROADLOG_AVX2 inline void Avx2ChromaTerms(const uint8_t *u, const uint8_t *v, __m256i *tr,
                                         __m256i *tg, __m256i *tb)
{
    __m128i r, g, b;
    Sse2ChromaTerms(u, v, &r, &g, &b);
    *tr = _mm256_set_m128i(_mm_unpackhi_epi16(r, r), _mm_unpacklo_epi16(r, r));
    *tg = _mm256_set_m128i(_mm_unpackhi_epi16(g, g), _mm_unpacklo_epi16(g, g));
    *tb = _mm256_set_m128i(_mm_unpackhi_epi16(b, b), _mm_unpacklo_epi16(b, b));
}

ROADLOG_AVX2 inline Avx2Rgb Avx2Row16(const uint8_t *y, __m256i tr, __m256i tg, __m256i tb)
{
    const __m256i luma = _mm256_slli_epi16(
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(y))), 6);
    return {Avx2Channel(luma, tr), Avx2Channel(luma, tg), Avx2Channel(luma, tb)};
}

ROADLOG_AVX2 inline __m256i Avx2Pack565(const Avx2Rgb &p)
{
    const __m256i r = _mm256_slli_epi16(_mm256_and_si256(p.r, _mm256_set1_epi16(0xF8)), 8);
    const __m256i g = _mm256_slli_epi16(_mm256_and_si256(p.g, _mm256_set1_epi16(0xFC)), 3);
    return _mm256_or_si256(_mm256_or_si256(r, g), _mm256_srli_epi16(p.b, 3));
}

// The 16-pixel steps over a pair of rows, as Sse2PairSteps.
template <int kBytesPerPixel, int kSpare, class Step>
ROADLOG_AVX2 int32_t Avx2PairSteps(uint8_t *d0, uint8_t *d1, const uint8_t *y0,
                                   const uint8_t *y1, const uint8_t *u, const uint8_t *v,
                                   int32_t width)
{
    int32_t x = 0;
    for (; x + 16 + kSpare <= width; x += 16) {
        __m256i tr, tg, tb;
        Avx2ChromaTerms(u + x / 2, v + x / 2, &tr, &tg, &tb);
        Step::Run(d0 + kBytesPerPixel * x, y0 + x, tr, tg, tb);
        Step::Run(d1 + kBytesPerPixel * x, y1 + x, tr, tg, tb);
    }
    return x;
}

struct Avx2Rgb565Step
{
    ROADLOG_AVX2 static void Run(uint8_t *d, const uint8_t *y, __m256i tr, __m256i tg,
                                 __m256i tb)
    {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(d),
                            Avx2Pack565(Avx2Row16(y, tr, tg, tb)));
    }
};

ROADLOG_AVX2 void Avx2Rgb565Rows(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1,
                                 const uint8_t *u, const uint8_t *v, int32_t width)
{
    const int32_t x = Avx2PairSteps<2, 0, Avx2Rgb565Step>(d0, d1, y0, y1, u, v, width);
    Rgb565RowsFrom(x, d0, d1, y0, y1, u, v, width);
}

// Unclamped channel sums of 16 pixels: (64 Y + term) >> 6 in 16-bit lanes.
struct Avx2Sums
{
    __m256i r, g, b;
};

ROADLOG_AVX2 inline Avx2Sums Avx2Sums16(const uint8_t *y, __m256i tr, __m256i tg, __m256i tb)
{
    const __m256i luma = _mm256_slli_epi16(
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(y))), 6);
    return {_mm256_srai_epi16(_mm256_add_epi16(luma, tr), 6),
            _mm256_srai_epi16(_mm256_add_epi16(luma, tg), 6),
            _mm256_srai_epi16(_mm256_add_epi16(luma, tb), 6)};
}

// 16 pixels as 48 bytes, plus 4 bytes of junk after them that the next step overwrites.
// The saturating packs do the clamp.
ROADLOG_AVX2 inline void Avx2StoreBgr16(uint8_t *d, const Avx2Sums &p)
{
    // Per 128-bit lane (pixels 0..7, then 8..15): B bytes then R bytes; G bytes then zeros.
    const __m256i br = _mm256_packus_epi16(p.b, p.r);
    const __m256i g0 = _mm256_packus_epi16(p.g, _mm256_setzero_si256());
    const __m256i bg = _mm256_unpacklo_epi8(br, g0);
    const __m256i r0 = _mm256_unpackhi_epi8(br, g0);
    const __m256i squeeze = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1,
                                             -1, 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1,
                                             -1, -1);
    // Lane 0 holds pixels 0..3 / 4..7, lane 1 pixels 8..11 / 12..15.
    const __m256i lo = _mm256_shuffle_epi8(_mm256_unpacklo_epi16(bg, r0), squeeze);
    const __m256i hi = _mm256_shuffle_epi8(_mm256_unpackhi_epi16(bg, r0), squeeze);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d), _mm256_castsi256_si128(lo));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 12), _mm256_castsi256_si128(hi));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 24), _mm256_extracti128_si256(lo, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 36), _mm256_extracti128_si256(hi, 1));
}

struct Avx2Bgr24Step
{
    ROADLOG_AVX2 static void Run(uint8_t *d, const uint8_t *y, __m256i tr, __m256i tg,
                                 __m256i tb)
    {
        Avx2StoreBgr16(d, Avx2Sums16(y, tr, tg, tb));
    }
};

ROADLOG_AVX2 void Avx2Bgr24Rows(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1,
                                const uint8_t *u, const uint8_t *v, int32_t width)
{
    // The 4 junk bytes after a step need two more pixels in the row to land on.
    const int32_t x = Avx2PairSteps<3, 2, Avx2Bgr24Step>(d0, d1, y0, y1, u, v, width);
    Bgr24RowsFrom(x, d0, d1, y0, y1, u, v, width);
}

ROADLOG_AVX2 inline __m256i Avx2FracMul(__m256i f, __m256i d)
{
    return _mm256_add_epi16(_mm256_mulhi_epi16(f, d),
                            _mm256_and_si256(_mm256_srai_epi16(f, 15), d));
}

ROADLOG_AVX2 void Avx2HorizontalRow(int16_t *out, const uint8_t *src, const HorizontalTable *t)
{
    int32_t i = 0;
    for (; i + 16 <= t->nPairs; i += 16) {
        const int32_t block = i / 8;
        const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(&t->fx[i]));
        __m256i a, b;
        if (t->blockFits[block] && t->blockFits[block + 1]) {
            // Both blocks' pixels lie in a 16-byte window each: pick them with byte shuffles.
            const __m256i window = _mm256_set_m128i(
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + t->ix[i + 8])),
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + t->ix[i])));
            const uint8_t *s0 = &t->blockShuffle[static_cast<size_t>(block) * 32];
            const uint8_t *s1 = s0 + 32;
            const __m256i left =
                _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s1)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i *>(s0)));
            const __m256i right =
                _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s1 + 16)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i *>(s0 + 16)));
            a = _mm256_shuffle_epi8(window, left);
            b = _mm256_shuffle_epi8(window, right);
        } else {
            const __m256i pairs = _mm256_set_m128i(Sse2GatherPairs(src, &t->ix[i + 8]),
                                                   Sse2GatherPairs(src, &t->ix[i]));
            a = _mm256_and_si256(pairs, _mm256_set1_epi16(0xFF));
            b = _mm256_srli_epi16(pairs, 8);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i),
                            _mm256_add_epi16(a, Avx2FracMul(f, _mm256_sub_epi16(b, a))));
    }
    HorizontalRowFrom(i, out, src, t);
}

ROADLOG_AVX2 void Avx2VerticalRow(uint8_t *out, const int16_t *top, const int16_t *bottom,
                                  uint32_t fy, int32_t width)
{
    const __m256i f = _mm256_set1_epi16(static_cast<int16_t>(fy & 0xFFFF));
    int32_t i = 0;
    for (; i + 32 <= width; i += 32) {
        __m256i v[2];
        for (int h = 0; h < 2; ++h) {
            const __m256i a =
                _mm256_loadu_si256(reinterpret_cast<const __m256i *>(top + i + 16 * h));
            const __m256i b =
                _mm256_loadu_si256(reinterpret_cast<const __m256i *>(bottom + i + 16 * h));
            v[h] = _mm256_add_epi16(a, Avx2FracMul(f, _mm256_sub_epi16(b, a)));
        }
        // packus works per 128-bit lane; put the quarters back in order.
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i),
                            _mm256_permute4x64_epi64(_mm256_packus_epi16(v[0], v[1]), 0xD8));
    }
    VerticalRowFrom(i, out, top, bottom, fy, width);
}

} // namespace

const ConvertKernels g_Sse2Kernels = {Sse2Rgb565Rows, Sse2Bgr24Rows, Sse2HorizontalRow,
                                      Sse2VerticalRow};
const ConvertKernels g_Avx2Kernels = {Avx2Rgb565Rows, Avx2Bgr24Rows, Avx2HorizontalRow,
                                      Avx2VerticalRow};

#endif
