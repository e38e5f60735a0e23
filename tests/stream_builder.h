// Streams written by hand for tests: text, Macintosh and Symbol characters
// through their source tables, and codes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "stream/mac_charset.h"
#include "stream/emitter.h"
#include "stream/symbol_tables.h"

namespace verbatra::test {

class StreamBuilder {
public:
    // ASCII text; a backslash becomes the literal-backslash code.
    StreamBuilder& text(const std::string& ascii) {
        for (char c : ascii) {
            if (c == '\\') s_ += "\\\\";
            else s_ += c;
        }
        return *this;
    }
    // Macintosh (Mac Roman) bytes, through the Macintosh table.
    StreamBuilder& mac(const std::string& bytes) { return through(kMacintoshTable, bytes); }
    // Bytes in the Symbol font, through the Symbol table.
    StreamBuilder& symbol(const std::string& bytes) { return through(kSymbolTable, bytes); }
    // A code and its argument bytes.
    StreamBuilder& code(int c, std::initializer_list<int> args = {}) {
        s_ += '\\';
        s_ += static_cast<char>(c);
        for (int a : args) s_ += static_cast<char>(a);
        return *this;
    }
    StreamBuilder& para() {
        s_ += '\r';
        return *this;
    }
    StreamBuilder& raw(const std::string& bytes) {
        s_ += bytes;
        return *this;
    }
    const std::string& str() const { return s_; }

private:
    struct Out {
        std::string& s;
        void put(std::uint8_t b) { s += static_cast<char>(b); }
    };
    StreamBuilder& through(const std::uint16_t* table, const std::string& bytes) {
        Out out{s_};
        for (unsigned char b : bytes) write_source_char(table, b, out);
        return *this;
    }
    std::string s_;
};

}  // namespace verbatra::test
