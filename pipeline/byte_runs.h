// Copying the bytes that a conversion leaves unchanged in windows of 64,
// found sixteen at a time: the common case of every text, where a table
// lookup per byte would cost more than the copy. Uses the vector
// extensions of GCC and Clang.
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

// Copies the bytes of `in` (at most `n`) to `out` until a byte that
// `changed` marks; `handle` then deals with the bytes from there: it
// writes their translation, moves `out` past it and returns how many bytes
// it took (0 to stop). Returns how many bytes were taken in all; `out`
// moves past what was written. `changed` takes a ByteVector and gives a
// nonzero byte for each byte it marks. `in` must be readable for kRunSlack
// bytes past `n` (what is there is never used), and `out` needs room for
// the translations of `n` bytes and kRunSlack bytes more.
//
// The marked places of a block are listed first, eight per 64 bytes
// without a branch, then visited in one loop, each stretch before one
// copied 64 bytes at a time: how many marks a window holds, or whether it
// holds any, is as good as random in a text, and a branch on it would
// mostly guess wrong.
inline constexpr std::size_t kRunSlack = 64;

template <typename Changed, typename Handle>
inline std::size_t copy_and_translate(const std::uint8_t* in, std::size_t n, std::uint8_t*& out,
                                      Changed changed, Handle handle) {
    const auto copy64 = [](std::uint8_t* to, const std::uint8_t* from) {
        ByteVector v[4];
        std::memcpy(v, from, 64);
        std::memcpy(to, v, 64);
    };
    // Copies in[from, to) to out, whole windows of 64 at a time.
    const auto copy_run = [&](std::size_t from, std::size_t to) {
        std::uint8_t* o = out;
        out += to - from;
        for (;;) {
            copy64(o, in + from);
            if (to - from <= 64) return;
            from += 64;
            o += 64;
        }
    };
    constexpr std::size_t kBlock = 256;
    std::uint16_t marked[kBlock + 8];
    const std::size_t whole = n & ~std::size_t{63};
    std::size_t pos = 0;  // what is not yet written
    for (std::size_t base = 0; base < whole; base += kBlock) {
        const std::size_t end = base + kBlock < whole ? base + kBlock : whole;
        std::size_t count = 0;
        for (std::size_t w = base; w < end; w += 64) {
            std::uint64_t marks = 0;
            for (int q = 0; q < 4; ++q) {
                ByteVector v;
                std::memcpy(&v, in + w + 16 * q, 16);
                marks |= static_cast<std::uint64_t>(detail::mark_bits(changed(v))) << (16 * q);
            }
            const auto found = static_cast<std::size_t>(std::popcount(marks));
            const auto at = static_cast<std::uint16_t>(w - base);
            std::uint16_t* slot = marked + count;
            for (int t = 0; t < 8; ++t) {  // past the last mark these are never read
                slot[t] = static_cast<std::uint16_t>(at + __builtin_ctzll(marks | (std::uint64_t{1} << 63)));
                marks &= marks - 1;
            }
            for (std::size_t t = 8; t < found; ++t) {
                slot[t] = static_cast<std::uint16_t>(at + __builtin_ctzll(marks));
                marks &= marks - 1;
            }
            count += found;
        }
        for (std::size_t j = 0; j < count; ++j) {
            const std::size_t k = base + marked[j];
            if (k < pos) continue;  // taken with the mark before it
            copy_run(pos, k);  // none when k == pos: nothing of it counts
            const std::size_t taken = handle(k, out);
            if (taken == 0) return k;
            pos = k + taken;
        }
        if (pos < end) {
            copy_run(pos, end);
            pos = end;
        }
    }
    while (pos < n) {
        ByteVector v{};
        v[0] = in[pos];
        if (!changed(v)[0]) {
            *out++ = in[pos++];
            continue;
        }
        const std::size_t taken = handle(pos, out);
        if (taken == 0) break;
        pos += taken;
    }
    return pos < n ? pos : n;
}

}  // namespace verbatra
