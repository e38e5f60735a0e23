// Nisus Writer documents built from the layouts: a data fork, a resource
// fork in the Resource Manager's layout, and the three wrappings (MacBinary,
// AppleSingle, AppleDouble). Shared by the unit tests and the oracle test.
#pragma once

#include <string>
#include <vector>

#include "support.h"

namespace verbatra::test {

struct Resource {
    std::string type;
    int id;
    std::string data;
};

// The resource fork: a 256-byte head (the 16-byte header, then zeros), the
// data area (each resource's length, then its bytes), then the map (a copy
// of the header, the type list at 28, the reference lists, no names).
inline std::string resource_fork(const std::vector<Resource>& resources) {
    std::string area;
    std::vector<std::string> types;
    std::vector<std::vector<std::pair<int, long>>> refs;  // per type: id, data offset
    for (const Resource& r : resources) {
        std::size_t t = 0;
        while (t < types.size() && types[t] != r.type) ++t;
        if (t == types.size()) {
            types.push_back(r.type);
            refs.emplace_back();
        }
        refs[t].push_back({r.id, static_cast<long>(area.size())});
        area += be32(static_cast<long>(r.data.size())) + r.data;
    }
    std::string list = be16(static_cast<int>(types.size()) - 1);
    std::string references;
    const std::size_t lists_at = 2 + 8 * types.size();
    for (std::size_t t = 0; t < types.size(); ++t) {
        list += types[t] + be16(static_cast<int>(refs[t].size()) - 1) +
                be16(static_cast<int>(lists_at + references.size()));
        for (const auto& [id, offset] : refs[t]) {
            references += be16(id) + be16(0xFFFF) + '\0' + be32(offset).substr(1) + be32(0);
        }
    }
    const long map_length = 28 + static_cast<long>(list.size() + references.size());
    const std::string header = be32(256) + be32(256 + static_cast<long>(area.size())) +
                               be32(static_cast<long>(area.size())) + be32(map_length);
    const std::string map = header + std::string(8, '\0') + be16(28) + be16(static_cast<int>(map_length)) + list +
                            references;
    return header + std::string(240, '\0') + area + map;
}

inline std::string padded128(std::string s) {
    s.resize((s.size() + 127) / 128 * 128, '\0');
    return s;
}

inline std::string nisus_macbinary(const std::string& data, const std::string& rsrc, const char* type_creator = "TEXTNISI") {
    std::string h(128, '\0');
    h[1] = 4;
    h.replace(2, 4, "TEST");
    h.replace(65, 8, type_creator);
    h.replace(83, 4, be32(static_cast<long>(data.size())));
    h.replace(87, 4, be32(static_cast<long>(rsrc.size())));
    return h + padded128(data) + padded128(rsrc);
}

// AppleSingle (magic 00 05 16 00) or AppleDouble (00 05 16 07, no data
// fork entry): Finder info first, as macOS writes it, then the forks.
inline std::string apple_file(bool single, const std::string& data, const std::string& rsrc,
                              const char* type_creator = "TEXTNISI") {
    const std::string info = std::string(type_creator, 8) + std::string(24, '\0');
    std::vector<std::pair<int, std::string>> entries = {{9, info}};
    if (single) entries.push_back({1, data});
    entries.push_back({2, rsrc});
    std::string head = bytes({0, 5, 0x16, single ? 0 : 7}) + be32(0x00020000) + std::string(16, '\0') +
                       be16(static_cast<int>(entries.size()));
    long at = static_cast<long>(head.size() + 12 * entries.size());
    std::string body;
    for (const auto& [id, content] : entries) {
        head += be32(id) + be32(at + static_cast<long>(body.size())) + be32(static_cast<long>(content.size()));
        body += content;
    }
    return head + body;
}

// A "vers" resource of version 3.5, which libmwaw asks for.
inline Resource nisus_version() { return {"vers", 1, bytes({0x03, 0x50, 0x80, 0, 0, 0, 3, '3', '.', '5', 0})}; }

}  // namespace verbatra::test
