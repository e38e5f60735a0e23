#include "ui/dialog_text.h"

#include <algorithm>
#include <vector>

namespace verbatra::ui {

int centred_position(int ref_start, int ref_size, int size, int screen_size) {
    const int x = ref_start + (ref_size - size) / 2;
    return std::max(0, std::min(x, screen_size - size));
}

std::string shortened_path(const std::string& path) {
    constexpr std::size_t kShortenFrom = 31, kLongest = 34;
    if (path.size() < kShortenFrom) return path;
    std::vector<std::size_t> slashes;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '\\') slashes.push_back(i);
    }
    if (slashes.size() < 3) return path;
    // The backslash that starts the last directory: what follows it always
    // stays visible.
    const bool trailing = path.back() == '\\';
    const std::size_t last_directory = trailing ? slashes[slashes.size() - 2] : slashes.back();
    const std::size_t q = slashes[1];
    std::size_t p = slashes[2];
    if (q + 1 + 3 + (path.size() - p) > kLongest) p = last_directory;
    p = std::min(p, last_directory);
    if (p <= q) return path;
    return path.substr(0, q + 1) + "..." + path.substr(p);
}

std::string lower_case(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string drive_entry(char letter, const std::string& label) {
    const std::string drive = std::string("[") + letter + ":]";
    if (label.empty()) return drive;
    constexpr std::size_t kEntry = 31;
    const std::string shown = label.substr(0, 1) + lower_case(label.substr(1));
    return shown.substr(0, kEntry - drive.size() - 1) + " " + drive;
}

std::string drive_of_entry(const std::string& entry) {
    const std::size_t open = entry.rfind('[');
    if (open == std::string::npos) return {};
    const std::size_t close = entry.find(']', open);
    if (close == std::string::npos || close <= open + 1) return {};
    return lower_case(entry.substr(open + 1, close - open - 1));
}

std::string parent_path(const std::string& path) {
    std::string p = path;
    if (!p.empty() && p.back() == '\\') p.pop_back();
    const std::size_t slash = p.rfind('\\');
    if (slash == std::string::npos) return path;  // a root: it stays
    return p.substr(0, slash + 1);
}

}  // namespace verbatra::ui
