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
// moves past what was written. Works on windows of 64 bytes: one without a
// changed byte is copied whole, and in one with some, each stretch between
// them is copied 64 bytes at a time, so no loop or branch depends on where
// they fall. `changed` takes a ByteVector and gives a nonzero byte for each
// byte it marks. `in` must be readable for kRunSlack bytes past `n` (what
// is there is never used), and `out` needs room for the translations of
// `n` bytes and kRunSlack bytes more.
inline constexpr std::size_t kRunSlack = 64;

template <typename Changed, typename Handle>
inline std::size_t copy_and_translate(const std::uint8_t* in, std::size_t n, std::uint8_t*& out,
                                      Changed changed, Handle handle) {
    const auto copy64 = [](std::uint8_t* to, const std::uint8_t* from) {
        ByteVector v[4];
        std::memcpy(v, from, 64);
        std::memcpy(to, v, 64);
    };
    std::size_t i = 0;
    while (i + 64 <= n) {
        std::uint64_t marks = 0;
        for (int q = 0; q < 4; ++q) {
            ByteVector v;
            std::memcpy(&v, in + i + 16 * q, 16);
            marks |= static_cast<std::uint64_t>(detail::mark_bits(changed(v))) << (16 * q);
        }
        if (marks == 0) {
            copy64(out, in + i);
            i += 64;
            out += 64;
            continue;
        }
        std::size_t pos = 0;  // in the window: what is not yet written
        do {
            const auto k = static_cast<std::size_t>(__builtin_ctzll(marks));
            copy64(out, in + i + pos);
            out += k - pos;
            const std::size_t taken = handle(i + k, out);
            if (taken == 0) return i + k;
            pos = k + taken;
            marks = pos >= 64 ? 0 : marks & (~std::uint64_t{0} << pos);
        } while (marks != 0);
        if (pos < 64) {
            copy64(out, in + i + pos);
            out += 64 - pos;
            pos = 64;
        }
        i += pos;
    }
    while (i < n) {
        ByteVector v{};
        v[0] = in[i];
        if (!changed(v)[0]) {
            *out++ = in[i++];
            continue;
        }
        const std::size_t taken = handle(i, out);
        if (taken == 0) break;
        i += taken;
    }
    return i < n ? i : n;
}

}  // namespace verbatra
