// Finding runs of bytes that a conversion copies unchanged, sixteen at a
// time: the common case of every text, where a table lookup per byte would
// cost more than the copy. Uses the vector extensions of GCC and Clang.
#pragma once

#include <cstddef>
#include <cstdint>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace verbatra {

using ByteVector = std::uint8_t __attribute__((vector_size(16)));
using SignedByteVector = std::int8_t __attribute__((vector_size(16)));
static_assert(std::endian::native == std::endian::little, "the first special byte is found from the low end");

namespace detail {
// One bit per byte of `marks` (bit k for byte k) that is nonzero.
inline unsigned mark_bits(ByteVector marks) {
#if defined(__SSE2__)
    __m128i m;
    std::memcpy(&m, &marks, 16);
    return static_cast<unsigned>(_mm_movemask_epi8(m));
#else
    unsigned bits = 0;
    for (int k = 0; k < 16; ++k) bits |= (marks[k] ? 1u : 0u) << k;
    return bits;
#endif
}
}  // namespace detail

// Copies the bytes of `in` (at most `n`) to `out`, sixteen at a time,
// until a byte that `changed` marks; `handle` then deals with the bytes
// from there: it writes their translation, moves `out` past it and returns
// how many bytes it took (0 to stop). Returns how many bytes were taken in
// all; `out` moves past what was written. `changed` takes a ByteVector and
// gives a nonzero byte for each byte it marks; `out` needs room for the
// translations of `n` bytes and 16 bytes more (whole blocks are stored,
// bytes after a changed one to be overwritten).
template <typename Changed, typename Handle>
inline std::size_t copy_and_translate(const std::uint8_t* in, std::size_t n, std::uint8_t*& out,
                                      Changed changed, Handle handle) {
    std::size_t i = 0;
    while (i < n) {
        std::size_t run;
        if (i + 16 <= n) {
            ByteVector v;
            std::memcpy(&v, in + i, 16);
            std::memcpy(out, &v, 16);
            const unsigned marks = detail::mark_bits(changed(v));
            if (marks == 0) {
                i += 16;
                out += 16;
                continue;
            }
            run = static_cast<std::size_t>(__builtin_ctz(marks));
        } else {
            for (run = 0; i + run < n; ++run) {
                ByteVector v{};
                v[0] = in[i + run];
                if (changed(v)[0]) break;
                out[run] = in[i + run];
            }
        }
        i += run;
        out += run;
        if (i == n) break;
        const std::size_t taken = handle(i, out);
        if (taken == 0) break;
        i += taken;
    }
    return i;
}

}  // namespace verbatra
