// Compiled with AVX2 enabled; reached only through KernelsFor, which checks the processor
// first. Nothing here may be inline code shared with other files (see PointKernelPaths.h).
#include "PointKernelPaths.h"

#include <cstring>
#include <immintrin.h>

namespace PointKernels::Paths {

namespace {

// Runs `wide` over every aligned 32 bytes of each row and `part` over the pieces before the
// row's first 32-byte boundary and after its last one (each shorter than 32 bytes), so nothing
// outside the row is touched.
template<typename Wide, typename Part> void ForEachVector(const Rows &rows, Wide wide, Part part)
{
    const std::size_t width = rows.width, height = rows.height, stride = rows.stride;
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t *p = rows.bits + y * stride;
        std::size_t left = width;
        const std::size_t toBoundary = (32 - (reinterpret_cast<std::uintptr_t>(p) & 31)) & 31;
        const std::size_t head = toBoundary < left ? toBoundary : left;
        part(p, head);
        p += head;
        left -= head;
        for (; left >= 64; p += 64, left -= 64) {
            auto *first = reinterpret_cast<__m256i *>(p);
            const __m256i a = _mm256_load_si256(first);
            const __m256i b = _mm256_load_si256(first + 1);
            _mm256_store_si256(first, wide(a));
            _mm256_store_si256(first + 1, wide(b));
        }
        if (left >= 32) {
            auto *vector = reinterpret_cast<__m256i *>(p);
            _mm256_store_si256(vector, wide(_mm256_load_si256(vector)));
            p += 32;
            left -= 32;
        }
        part(p, left);
    }
}

// Runs `wide` over a piece of fewer than 32 bytes in loads and stores of exactly 16, 8, 4, 2
// and 1 bytes. A byte-at-a-time loop over the pieces measured several times slower than this:
// on 1000-pixel rows it cost more than the wide loop over the rest of the row.
template<typename Wide> void ApplyToPiece(std::uint8_t *p, std::size_t count, Wide wide)
{
    auto run
        = [&wide](__m128i v) { return _mm256_castsi256_si128(wide(_mm256_zextsi128_si256(v))); };
    if (count >= 16) {
        auto *at = reinterpret_cast<__m128i *>(p);
        _mm_storeu_si128(at, run(_mm_loadu_si128(at)));
        p += 16;
        count -= 16;
    }
    if (count >= 8) {
        auto *at = reinterpret_cast<__m128i *>(p);
        _mm_storel_epi64(at, run(_mm_loadl_epi64(at)));
        p += 8;
        count -= 8;
    }
    if (count >= 4) {
        std::uint32_t bytes = 0;
        std::memcpy(&bytes, p, 4);
        bytes = static_cast<std::uint32_t>(
            _mm_cvtsi128_si32(run(_mm_cvtsi32_si128(static_cast<int>(bytes)))));
        std::memcpy(p, &bytes, 4);
        p += 4;
        count -= 4;
    }
    if (count >= 2) {
        std::uint16_t bytes = 0;
        std::memcpy(&bytes, p, 2);
        bytes = static_cast<std::uint16_t>(_mm_cvtsi128_si32(run(_mm_cvtsi32_si128(bytes))));
        std::memcpy(p, &bytes, 2);
        p += 2;
        count -= 2;
    }
    if (count != 0)
        *p = static_cast<std::uint8_t>(_mm_cvtsi128_si32(run(_mm_cvtsi32_si128(*p))));
}

// A byte shuffle looks up 16 entries by the low 4 bits of the pixel. All 16 lookups are made,
// then bits 4 to 7 pick among them in a tree of blends (a blend follows the top bit of each
// byte of its mask, so each bit is shifted up there first).
void Avx2Table(const Rows &rows, const std::uint8_t *table)
{
    __m256i part[16];
    for (int k = 0; k < 16; ++k) {
        part[k] = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(table + 16 * k)));
    }
    const __m256i lowNibble = _mm256_set1_epi8(0x0F);
    auto wide = [&](__m256i g) {
        const __m256i index = _mm256_and_si256(g, lowNibble);
        const __m256i bit4 = _mm256_slli_epi16(g, 3);
        const __m256i bit5 = _mm256_slli_epi16(g, 2);
        const __m256i bit6 = _mm256_slli_epi16(g, 1);
        __m256i pick[8];
        for (int k = 0; k < 8; ++k) {
            pick[k] = _mm256_blendv_epi8(_mm256_shuffle_epi8(part[2 * k], index),
                                         _mm256_shuffle_epi8(part[2 * k + 1], index), bit4);
        }
        for (int k = 0; k < 4; ++k)
            pick[k] = _mm256_blendv_epi8(pick[2 * k], pick[2 * k + 1], bit5);
        for (int k = 0; k < 2; ++k)
            pick[k] = _mm256_blendv_epi8(pick[2 * k], pick[2 * k + 1], bit6);
        return _mm256_blendv_epi8(pick[0], pick[1], g);
    };
    // The pieces are looked up byte by byte: cheaper here than the whole shuffle tree.
    ForEachVector(rows, wide, [table](std::uint8_t *p, std::size_t count) {
        for (std::size_t x = 0; x < count; ++x)
            p[x] = table[p[x]];
    });
}

void Avx2Invert(const Rows &rows)
{
    const __m256i ones = _mm256_set1_epi8(-1);
    auto wide = [&](__m256i g) { return _mm256_xor_si256(g, ones); };
    ForEachVector(rows, wide,
                  [&](std::uint8_t *p, std::size_t count) { ApplyToPiece(p, count, wide); });
}

// g >= lower where max(g, lower) == g, g <= upper where min(g, upper) == g; the result is
// (g | ~atMostUpper) & atLeastLower.
void Avx2Window(const Rows &rows, std::uint8_t lower, std::uint8_t upper)
{
    const __m256i lowerLimit = _mm256_set1_epi8(static_cast<char>(lower));
    const __m256i upperLimit = _mm256_set1_epi8(static_cast<char>(upper));
    auto wide = [&](__m256i g) {
        const __m256i atLeastLower = _mm256_cmpeq_epi8(_mm256_max_epu8(g, lowerLimit), g);
        const __m256i atMostUpper = _mm256_cmpeq_epi8(_mm256_min_epu8(g, upperLimit), g);
        return _mm256_andnot_si256(_mm256_andnot_si256(g, atMostUpper), atLeastLower);
    };
    ForEachVector(rows, wide,
                  [&](std::uint8_t *p, std::size_t count) { ApplyToPiece(p, count, wide); });
}

} // namespace

const RowKernels kAvx2Kernels{Avx2Table, Avx2Invert, Avx2Window};

} // namespace PointKernels::Paths
