#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "pipeline/byte_runs.h"

namespace verbatra {
namespace {

// 'x' becomes two bytes, 'y' takes itself and the two bytes after it
// (when they are there) and becomes one, 'z' stops the run.
std::size_t handle_mark(const std::uint8_t* in, std::size_t n, std::size_t at, std::uint8_t*& out) {
    switch (in[at]) {
        case 'x': *out++ = 'X'; *out++ = 'X'; return 1;
        case 'y':
            if (at + 3 > n) return 0;
            *out++ = 'Y';
            return 3;
        default: return 0;
    }
}

std::string reference(const std::string& s, std::size_t& taken) {
    const auto* in = reinterpret_cast<const std::uint8_t*>(s.data());
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] != 'x' && s[i] != 'y' && s[i] != 'z') {
            out += s[i++];
            continue;
        }
        std::uint8_t buf[4];
        std::uint8_t* o = buf;
        const std::size_t t = handle_mark(in, s.size(), i, o);
        if (t == 0) break;
        out.append(reinterpret_cast<char*>(buf), static_cast<std::size_t>(o - buf));
        i += t;
    }
    taken = i;
    return out;
}

// Marks at every density, next to each other, straddling windows and
// blocks, a 'y' whose bytes cross into the next window or block, and stops
// anywhere: the fast copy must give what a byte-by-byte loop gives.
TEST(CopyAndTranslate, AgreesWithAByteLoop) {
    std::mt19937 random(11);
    const char alphabet_sparse[] = "abcdefghijklmnopqrstuvw0123456789 .,";
    for (int round = 0; round < 3000; ++round) {
        const std::size_t n = random() % 1500;
        const unsigned density = round % 5 == 0 ? 2 : round % 5 == 1 ? 8 : round % 5 == 2 ? 60 : 500;
        const bool stops = round % 3 == 0;
        std::string s(n, 'a');
        for (char& c : s) {
            const unsigned r = random() % density;
            c = r == 0 ? (stops && random() % 8 == 0 ? 'z' : random() % 2 ? 'x' : 'y')
                       : alphabet_sparse[random() % (sizeof alphabet_sparse - 1)];
        }
        std::vector<std::uint8_t> in(s.begin(), s.end());
        in.resize(n + kRunSlack, 'x');  // slack that would show if it were used
        std::vector<std::uint8_t> out(2 * n + kRunSlack);
        std::uint8_t* o = out.data();
        const std::size_t taken = copy_and_translate(
            in.data(), n, o, [](ByteVector v) { return (ByteVector)((v == 'x') | (v == 'y') | (v == 'z')); },
            [&](std::size_t at, std::uint8_t*& w) { return handle_mark(in.data(), n, at, w); });
        std::size_t want_taken = 0;
        const std::string want = reference(s, want_taken);
        ASSERT_EQ(std::string(reinterpret_cast<char*>(out.data()), static_cast<std::size_t>(o - out.data())), want)
            << "round " << round << " length " << n;
        ASSERT_EQ(taken, want_taken) << "round " << round;
    }
}

}  // namespace
}  // namespace verbatra
