// What every platform shares: Windows file-name matching.
#include <cctype>

#include "platform/platform.h"

namespace verbatra::platform {

namespace {

char fold(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

std::string folded_name(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) c = fold(c);
    return folded;
}

namespace {

bool match_from(const char* p, const char* n) {
    // Iterative glob with single-star backtracking: linear enough for file
    // names and never recursive, so a long pattern of stars cannot blow up.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*n) {
        if (*p == '*') {
            star = p++;
            resume = n;
        } else if (*p == '?' || (*p && fold(*p) == fold(*n))) {
            ++p;
            ++n;
        } else if (star) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (*p == '*') ++p;
    return *p == 0;
}

}  // namespace

bool wildcard_match(const std::string& pattern, const std::string& name) {
    // "*.*" is the Windows way of saying "everything", dot or no dot; more
    // generally a trailing ".*" also matches a name that has no dot at all.
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos) {
        return match_from(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str());
    }
    return match_from(pattern.c_str(), name.c_str());
}

bool has_wildcards(const std::string& text) {
    return text.find_first_of("*?") != std::string::npos;
}

}  // namespace verbatra::platform
