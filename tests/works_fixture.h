// Works 2 and 3 documents built from the layout, for the unit and oracle
// tests: the header (version word, a bounding box, the document kind, the
// record count) and records of a type and data.
#pragma once

#include <string>
#include <vector>

#include "support.h"

namespace verbatra::test {

struct WorksRecord {
    int type;
    std::string data;
};

inline std::string works_document(int version, const std::vector<WorksRecord>& records, int kind = 1) {
    std::string h = bytes({0, 0, 0, version}) + be16(0) + be16(0) + be16(0x300) + be16(0x240) + std::string(4, '\0') +
                    be16(kind) + be16(static_cast<int>(records.size()));
    h.resize(32, '\0');
    for (const WorksRecord& r : records) h += bytes({r.type, 0, 0, 0}) + be16(static_cast<int>(r.data.size())) + r.data;
    return h;
}

// A style marker: Works 2 reads the size from byte 3 and the flags from
// byte 4 (counting the 0x02 as byte 0); Works 3 the flags alone.
inline std::string works_marker(int size, int flags) { return bytes({2, 0, 0, size, flags, 0}); }

}  // namespace verbatra::test
