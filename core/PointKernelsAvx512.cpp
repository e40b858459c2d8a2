// Compiled with AVX-512 F, BW and VBMI enabled; reached only through KernelsFor, which checks
// the processor first. Nothing here may be inline code shared with other files (see
// PointKernelPaths.h).
#include "PointKernelPaths.h"

#include <immintrin.h>

namespace PointKernels::Paths {

namespace {

// Mask of the first `count` bytes of a register, count <= 64.
__mmask64 FirstBytes(std::size_t count)
{
    return count >= 64 ? ~__mmask64{0} : (__mmask64{1} << count) - 1;
}

// Runs `op` over every 64 bytes of each row. The part before the row's first 64-byte boundary
// and the part after its last one go through byte-masked loads and stores, which neither write
// nor fault on the bytes outside the mask (the padding, the next row); the rest is aligned.
template<typename Op> void ForEachVector(const Rows &rows, Op op)
{
    for (std::size_t y = 0; y < rows.height; ++y) {
        std::uint8_t *p = rows.bits + y * rows.stride;
        std::size_t left = rows.width;
        const std::size_t toBoundary = (64 - (reinterpret_cast<std::uintptr_t>(p) & 63)) & 63;
        if (toBoundary != 0 && left != 0) {
            const __mmask64 head = FirstBytes(toBoundary < left ? toBoundary : left);
            _mm512_mask_storeu_epi8(p, head, op(_mm512_maskz_loadu_epi8(head, p)));
            const std::size_t done = toBoundary < left ? toBoundary : left;
            p += done;
            left -= done;
        }
        for (; left >= 128; p += 128, left -= 128) {
            const __m512i a = _mm512_load_si512(p);
            const __m512i b = _mm512_load_si512(p + 64);
            _mm512_store_si512(p, op(a));
            _mm512_store_si512(p + 64, op(b));
        }
        if (left >= 64) {
            _mm512_store_si512(p, op(_mm512_load_si512(p)));
            p += 64;
            left -= 64;
        }
        if (left != 0) {
            const __mmask64 tail = FirstBytes(left);
            _mm512_mask_storeu_epi8(p, tail, op(_mm512_maskz_loadu_epi8(tail, p)));
        }
    }
}

// Each permute looks up 128 entries by the low 7 bits of the pixel; the top bit picks which
// of the two results to keep.
void Avx512Table(const Rows &rows, const std::uint8_t *table)
{
    const __m512i t0 = _mm512_loadu_si512(table);
    const __m512i t1 = _mm512_loadu_si512(table + 64);
    const __m512i t2 = _mm512_loadu_si512(table + 128);
    const __m512i t3 = _mm512_loadu_si512(table + 192);
    ForEachVector(rows, [&](__m512i g) {
        const __m512i low = _mm512_permutex2var_epi8(t0, g, t1);
        const __m512i high = _mm512_permutex2var_epi8(t2, g, t3);
        return _mm512_mask_blend_epi8(_mm512_movepi8_mask(g), low, high);
    });
}

void Avx512Invert(const Rows &rows)
{
    const __m512i ones = _mm512_set1_epi8(-1);
    ForEachVector(rows, [&](__m512i g) { return _mm512_xor_si512(g, ones); });
}

void Avx512Window(const Rows &rows, std::uint8_t lower, std::uint8_t upper)
{
    const __m512i lowerLimit = _mm512_set1_epi8(static_cast<char>(lower));
    const __m512i upperLimit = _mm512_set1_epi8(static_cast<char>(upper));
    const __m512i white = _mm512_set1_epi8(-1);
    ForEachVector(rows, [&](__m512i g) {
        const __mmask64 atLeastLower = _mm512_cmpge_epu8_mask(g, lowerLimit);
        const __mmask64 atMostUpper = _mm512_cmple_epu8_mask(g, upperLimit);
        return _mm512_maskz_mov_epi8(atLeastLower, _mm512_mask_mov_epi8(white, atMostUpper, g));
    });
}

} // namespace

const RowKernels kAvx512VbmiKernels{Avx512Table, Avx512Invert, Avx512Window};

} // namespace PointKernels::Paths
