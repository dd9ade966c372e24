// SSE2 and AVX2 row kernels. Each computes exactly what the scalar kernels compute: the colour
// terms stay within signed 16 bits and are added to the luma bytes with saturation, and the
// bilinear floors come from the signed high product corrected for fractions at or above one half.
#if defined(__x86_64__) || defined(__i386__)

#include <cstring>

#include <immintrin.h>

#include "engine/output/picture_convert_kernels.h"

// The row kernels are built from small steps that must melt into one loop.
#define ROADLOG_INLINE inline __attribute__((always_inline))

namespace {

// A constant the compiler must keep as it is: it would otherwise replace a multiply by a
// constant with a longer run of shifts and adds.
inline __m128i Opaque(__m128i v)
{
    asm("" : "+x"(v));
    return v;
}

inline uint16_t LoadPair(const uint8_t *p)
{
    uint16_t pair;
    std::memcpy(&pair, p, 2);
    return pair;
}

// After the whole steps from 0 to x: where one more step that ends at the row's end starts (even,
// to keep the chroma pairs), instead of a long scalar finish; it rewrites some pixels with the
// values they already have. -1 when there is no room for it or no need.
template <int kStep, int kSpare> inline int32_t LastStepStart(int32_t x, int32_t width)
{
    if (x == 0 || x + kSpare >= width)
        return -1;
    const int32_t back = (width - kStep - kSpare) & ~1;
    return back + kStep > x ? back : -1;
}

// ---- SSE2 ----

// The colour sums in bytes. Because 64 Y is a multiple of 64, (64 Y + t) >> 6 equals
// Y + (t >> 6), and every t >> 6 lies within -255..255: a channel is Y plus the positive part
// of the term, minus its negative part, both with unsigned byte saturation. The terms are
// worked out once per chroma sample and doubled into bytes for its two pixels.
struct Sse2Terms
{
    __m128i rPos, rNeg, gPos, gNeg, bPos, bNeg; // 16 pixels' bytes each
};

// The positive and the negative part of t >> 6, words in 0..255.
inline void Sse2Split(__m128i t, __m128i *pos, __m128i *neg)
{
    const __m128i q = _mm_srai_epi16(t, 6);
    *pos = _mm_max_epi16(q, _mm_setzero_si128());
    *neg = _mm_sub_epi16(*pos, q);
}

// Words a and b in 0..255 to the byte pairs (a, b).
inline __m128i Sse2Pair(__m128i a, __m128i b)
{
    return _mm_or_si128(a, _mm_slli_epi16(b, 8));
}

// The raw terms (t before the shift) of 8 chroma samples in 16-bit lanes.
inline void Sse2ChromaTerms(const uint8_t *u, const uint8_t *v, __m128i *tr, __m128i *tg,
                            __m128i *tb)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi16(128);
    const __m128i cu = _mm_sub_epi16(
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(u)), zero), bias);
    const __m128i cv = _mm_sub_epi16(
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(v)), zero), bias);
    *tr = _mm_mullo_epi16(cv, Opaque(_mm_set1_epi16(kYuvFactorRV)));
    *tg = _mm_add_epi16(_mm_mullo_epi16(cu, Opaque(_mm_set1_epi16(-kYuvFactorGU))),
                        _mm_mullo_epi16(cv, Opaque(_mm_set1_epi16(-kYuvFactorGV))));
    *tb = _mm_mullo_epi16(cu, Opaque(_mm_set1_epi16(kYuvFactorBU)));
}

struct Sse2SplitTerms
{
    __m128i rPos, rNeg, gPos, gNeg, bPos, bNeg; // 8 chroma samples' words each
};

inline Sse2SplitTerms Sse2SplitTermsOf(const uint8_t *u, const uint8_t *v)
{
    __m128i tr, tg, tb;
    Sse2ChromaTerms(u, v, &tr, &tg, &tb);
    Sse2SplitTerms t;
    Sse2Split(tr, &t.rPos, &t.rNeg);
    Sse2Split(tg, &t.gPos, &t.gNeg);
    Sse2Split(tb, &t.bPos, &t.bNeg);
    return t;
}

// Terms for 16 pixels from 8 chroma samples.
inline Sse2Terms Sse2TermsOf(const uint8_t *u, const uint8_t *v)
{
    const Sse2SplitTerms s = Sse2SplitTermsOf(u, v);
    return {Sse2Pair(s.rPos, s.rPos), Sse2Pair(s.rNeg, s.rNeg), Sse2Pair(s.gPos, s.gPos),
            Sse2Pair(s.gNeg, s.gNeg), Sse2Pair(s.bPos, s.bPos), Sse2Pair(s.bNeg, s.bNeg)};
}

inline __m128i Sse2Channel(__m128i luma, __m128i pos, __m128i neg)
{
    return _mm_subs_epu8(_mm_adds_epu8(luma, pos), neg);
}

struct Sse2Rgb
{
    __m128i r, g, b; // 16 pixels' bytes each
};

inline Sse2Rgb Sse2Row16(const uint8_t *y, const Sse2Terms &t)
{
    const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i *>(y));
    return {Sse2Channel(luma, t.rPos, t.rNeg), Sse2Channel(luma, t.gPos, t.gNeg),
            Sse2Channel(luma, t.bPos, t.bNeg)};
}

// The 16 pixels' RGB565 words: the high byte is R7..3 G7..5, the low byte G4..2 B7..3.
struct Sse2Store565
{
    ROADLOG_INLINE static void Run(uint8_t *d, const Sse2Rgb &p)
    {
        const __m128i hi = _mm_or_si128(_mm_and_si128(p.r, _mm_set1_epi8(static_cast<char>(0xF8))),
                                        _mm_and_si128(_mm_srli_epi16(p.g, 5), _mm_set1_epi8(0x07)));
        const __m128i lo = _mm_or_si128(
            _mm_and_si128(_mm_slli_epi16(p.g, 3), _mm_set1_epi8(static_cast<char>(0xE0))),
            _mm_and_si128(_mm_srli_epi16(p.b, 3), _mm_set1_epi8(0x1F)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(d), _mm_unpacklo_epi8(lo, hi));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 16), _mm_unpackhi_epi8(lo, hi));
    }
};

// The 16-pixel steps over a pair of rows. kSpare pixels must follow a step for the junk its
// stores leave to land inside the row. Returns where the scalar finish starts.
template <int kBytesPerPixel, int kSpare, class Store>
ROADLOG_INLINE int32_t Sse2PairSteps(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1,
                                     const uint8_t *u, const uint8_t *v, int32_t width)
{
    const auto step = [&](int32_t x) __attribute__((always_inline))
    {
        const Sse2Terms t = Sse2TermsOf(u + x / 2, v + x / 2);
        Store::Run(d0 + kBytesPerPixel * x, Sse2Row16(y0 + x, t));
        Store::Run(d1 + kBytesPerPixel * x, Sse2Row16(y1 + x, t));
    };
    int32_t x = 0;
    for (; x + 16 + kSpare <= width; x += 16)
        step(x);
    if (const int32_t back = LastStepStart<16, kSpare>(x, width); back >= 0) {
        step(back);
        x = back + 16;
    }
    return x;
}

void Sse2Rgb565Rows(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1,
                    const uint8_t *u, const uint8_t *v, int32_t width)
{
    const int32_t x = Sse2PairSteps<2, 0, Sse2Store565>(d0, d1, y0, y1, u, v, width);
    Rgb565RowsFrom(x, d0, d1, y0, y1, u, v, width);
}

// 24-bit pixels go out a pixel pair at a time, as the words (B0 G0) (R0 B1) (G1 R1). Each word's
// two bytes take one luma sample twice, or both of the pair, so the words are summed directly:
// luma bytes arranged per word plus the terms arranged the same way.
struct Sse2BgrTerms
{
    __m128i bgPos, bgNeg, rbPos, rbNeg, grPos, grNeg; // 8 pixel pairs' words each
};

inline Sse2BgrTerms Sse2BgrTermsOf(const uint8_t *u, const uint8_t *v)
{
    const Sse2SplitTerms s = Sse2SplitTermsOf(u, v);
    return {Sse2Pair(s.bPos, s.gPos), Sse2Pair(s.bNeg, s.gNeg), Sse2Pair(s.rPos, s.bPos),
            Sse2Pair(s.rNeg, s.bNeg), Sse2Pair(s.gPos, s.rPos), Sse2Pair(s.gNeg, s.rNeg)};
}

// 16 pixels of one row as 48 bytes, plus 2 bytes of junk after them: each pixel pair goes out
// in an 8-byte store whose last 2 bytes the next store overwrites.
ROADLOG_INLINE void Sse2Bgr16(uint8_t *d, const uint8_t *y, const Sse2BgrTerms &t)
{
    const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i *>(y));
    const __m128i low = _mm_set1_epi16(0x00FF);
    const __m128i twice = Opaque(_mm_set1_epi16(0x0101));
    const __m128i evenTwice = _mm_mullo_epi16(_mm_and_si128(luma, low), twice);
    const __m128i oddTwice = _mm_mullo_epi16(_mm_srli_epi16(luma, 8), twice);
    const __m128i bg = Sse2Channel(evenTwice, t.bgPos, t.bgNeg);
    const __m128i rb = Sse2Channel(luma, t.rbPos, t.rbNeg);
    const __m128i gr = Sse2Channel(oddTwice, t.grPos, t.grNeg);
    const __m128i halves[2][2] = {{_mm_unpacklo_epi16(bg, rb), _mm_unpacklo_epi16(gr, gr)},
                                  {_mm_unpackhi_epi16(bg, rb), _mm_unpackhi_epi16(gr, gr)}};
    for (int h = 0; h < 2; ++h) {
        const __m128i pairs[2] = {_mm_unpacklo_epi32(halves[h][0], halves[h][1]),
                                  _mm_unpackhi_epi32(halves[h][0], halves[h][1])};
        for (int q = 0; q < 2; ++q) {
            uint8_t *at = d + 24 * h + 12 * q;
            _mm_storel_epi64(reinterpret_cast<__m128i *>(at), pairs[q]);
            _mm_storeh_pd(reinterpret_cast<double *>(at + 6), _mm_castsi128_pd(pairs[q]));
        }
    }
}

void Sse2Bgr24Rows(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1, const uint8_t *u,
                   const uint8_t *v, int32_t width)
{
    const auto step = [&](int32_t x) __attribute__((always_inline))
    {
        const Sse2BgrTerms t = Sse2BgrTermsOf(u + x / 2, v + x / 2);
        Sse2Bgr16(d0 + 3 * x, y0 + x, t);
        Sse2Bgr16(d1 + 3 * x, y1 + x, t);
    };
    // The last store's 2 junk bytes need one more pixel in the row to land on.
    int32_t x = 0;
    for (; x + 17 <= width; x += 16)
        step(x);
    if (const int32_t back = LastStepStart<16, 1>(x, width); back >= 0) {
        step(back);
        x = back + 16;
    }
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

// As Sse2Terms, for 32 pixels from 16 chroma samples.
struct Avx2Terms
{
    __m256i rPos, rNeg, gPos, gNeg, bPos, bNeg;
};

ROADLOG_AVX2 inline __m256i Avx2Opaque(__m256i v)
{
    asm("" : "+x"(v));
    return v;
}

ROADLOG_AVX2 inline __m256i Avx2Doubled(__m256i words)
{
    return _mm256_or_si256(words, _mm256_slli_epi16(words, 8));
}

ROADLOG_AVX2 inline void Avx2Split(__m256i t, __m256i *pos, __m256i *neg)
{
    const __m256i q = _mm256_srai_epi16(t, 6);
    const __m256i p = _mm256_max_epi16(q, _mm256_setzero_si256());
    *pos = Avx2Doubled(p);
    *neg = Avx2Doubled(_mm256_sub_epi16(p, q));
}

ROADLOG_AVX2 inline Avx2Terms Avx2TermsOf(const uint8_t *u, const uint8_t *v)
{
    const __m256i bias = _mm256_set1_epi16(128);
    const __m256i cu = _mm256_sub_epi16(
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(u))), bias);
    const __m256i cv = _mm256_sub_epi16(
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(v))), bias);
    Avx2Terms t;
    Avx2Split(_mm256_mullo_epi16(cv, Avx2Opaque(_mm256_set1_epi16(kYuvFactorRV))), &t.rPos,
              &t.rNeg);
    Avx2Split(
        _mm256_add_epi16(_mm256_mullo_epi16(cu, Avx2Opaque(_mm256_set1_epi16(-kYuvFactorGU))),
                         _mm256_mullo_epi16(cv, Avx2Opaque(_mm256_set1_epi16(-kYuvFactorGV)))),
        &t.gPos, &t.gNeg);
    Avx2Split(_mm256_mullo_epi16(cu, Avx2Opaque(_mm256_set1_epi16(kYuvFactorBU))), &t.bPos,
              &t.bNeg);
    return t;
}

ROADLOG_AVX2 inline __m256i Avx2Channel(__m256i luma, __m256i pos, __m256i neg)
{
    return _mm256_subs_epu8(_mm256_adds_epu8(luma, pos), neg);
}

struct Avx2Rgb
{
    __m256i r, g, b; // 32 pixels' bytes each
};

ROADLOG_AVX2 inline Avx2Rgb Avx2Row32(const uint8_t *y, const Avx2Terms &t)
{
    const __m256i luma = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(y));
    return {Avx2Channel(luma, t.rPos, t.rNeg), Avx2Channel(luma, t.gPos, t.gNeg),
            Avx2Channel(luma, t.bPos, t.bNeg)};
}

template <int kBytesPerPixel, class Step>
ROADLOG_AVX2 ROADLOG_INLINE void Avx2PairStep(int32_t x, uint8_t *d0, uint8_t *d1,
                                              const uint8_t *y0, const uint8_t *y1,
                                              const uint8_t *u, const uint8_t *v)
{
    const Avx2Terms t = Avx2TermsOf(u + x / 2, v + x / 2);
    Step::Run(d0 + kBytesPerPixel * x, Avx2Row32(y0 + x, t));
    Step::Run(d1 + kBytesPerPixel * x, Avx2Row32(y1 + x, t));
}

// The 32-pixel steps over a pair of rows, as Sse2PairSteps.
template <int kBytesPerPixel, int kSpare, class Step>
ROADLOG_AVX2 ROADLOG_INLINE int32_t Avx2PairSteps(uint8_t *d0, uint8_t *d1, const uint8_t *y0,
                                                  const uint8_t *y1, const uint8_t *u,
                                                  const uint8_t *v, int32_t width)
{
    int32_t x = 0;
    for (; x + 32 + kSpare <= width; x += 32)
        Avx2PairStep<kBytesPerPixel, Step>(x, d0, d1, y0, y1, u, v);
    if (const int32_t back = LastStepStart<32, kSpare>(x, width); back >= 0) {
        Avx2PairStep<kBytesPerPixel, Step>(back, d0, d1, y0, y1, u, v);
        x = back + 32;
    }
    return x;
}

struct Avx2Rgb565Step
{
    // As Sse2Store565; the byte unpacks work per 128-bit lane, so the halves are put back in
    // pixel order before the stores.
    ROADLOG_AVX2 static void Run(uint8_t *d, const Avx2Rgb &p)
    {
        const __m256i hi =
            _mm256_or_si256(_mm256_and_si256(p.r, _mm256_set1_epi8(static_cast<char>(0xF8))),
                            _mm256_and_si256(_mm256_srli_epi16(p.g, 5), _mm256_set1_epi8(0x07)));
        const __m256i lo = _mm256_or_si256(
            _mm256_and_si256(_mm256_slli_epi16(p.g, 3), _mm256_set1_epi8(static_cast<char>(0xE0))),
            _mm256_and_si256(_mm256_srli_epi16(p.b, 3), _mm256_set1_epi8(0x1F)));
        const __m256i first = _mm256_unpacklo_epi8(lo, hi);  // pixels 0..7, 16..23
        const __m256i second = _mm256_unpackhi_epi8(lo, hi); // pixels 8..15, 24..31
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(d),
                            _mm256_permute2x128_si256(first, second, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(d + 32),
                            _mm256_permute2x128_si256(first, second, 0x31));
    }
};

ROADLOG_AVX2 void Avx2Rgb565Rows(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1,
                                 const uint8_t *u, const uint8_t *v, int32_t width)
{
    const int32_t x = Avx2PairSteps<2, 0, Avx2Rgb565Step>(d0, d1, y0, y1, u, v, width);
    Rgb565RowsFrom(x, d0, d1, y0, y1, u, v, width);
}

struct Avx2Bgr24Step
{
    // 32 pixels as 96 bytes, plus 4 bytes of junk after them that the next step overwrites.
    // Per 128-bit lane the unpacks give B, G, R, 0 dwords of 4 pixels, squeezed to 12 bytes.
    ROADLOG_AVX2 static void Run(uint8_t *d, const Avx2Rgb &p)
    {
        const __m256i zero = _mm256_setzero_si256();
        const __m256i squeeze =
            _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5,
                             6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
        const __m256i bg[2] = {_mm256_unpacklo_epi8(p.b, p.g), _mm256_unpackhi_epi8(p.b, p.g)};
        const __m256i r0[2] = {_mm256_unpacklo_epi8(p.r, zero), _mm256_unpackhi_epi8(p.r, zero)};
        // groups[k] holds pixels 4k..4k+3 in lane 0 and 16+4k.. in lane 1.
        __m256i groups[4];
        for (int h = 0; h < 2; ++h) {
            groups[2 * h] = _mm256_shuffle_epi8(_mm256_unpacklo_epi16(bg[h], r0[h]), squeeze);
            groups[2 * h + 1] = _mm256_shuffle_epi8(_mm256_unpackhi_epi16(bg[h], r0[h]), squeeze);
        }
        for (int k = 0; k < 4; ++k)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 12 * k),
                             _mm256_castsi256_si128(groups[k]));
        for (int k = 0; k < 4; ++k)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 48 + 12 * k),
                             _mm256_extracti128_si256(groups[k], 1));
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
