#include "container.h"

#include <algorithm>
#include <cstring>

#include "errors.h"

namespace cmpr_tool {

namespace {

uint32_t load_le32(const uint8_t *p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void store_le32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr uint8_t kMagic[4] = {'C', 'M', 'P', 'Z'};

}  // namespace

const char *method_name(Method m) {
    static const char *const kNames[] = {"stored", "zlib", "own", "own-records"};
    return kNames[static_cast<uint8_t>(m)];
}

bool has_magic(std::span<const uint8_t> file) {
    return !file.empty() &&
           std::memcmp(file.data(), kMagic, std::min(file.size(), sizeof kMagic)) == 0;
}

Header read_header(std::span<const uint8_t> file, const std::string &name) {
    auto cut = [&](size_t want) {
        return Failure(name + ": truncated header (" + std::to_string(file.size()) + " of " +
                       std::to_string(want) + " bytes)");
    };
    if (file.size() < 5) throw cut(13);
    if (file[4] > static_cast<uint8_t>(Method::kOwnRecords))
        throw Failure(name + ": unknown method " + std::to_string(file[4]) + " in the header");
    Header h;
    h.method = static_cast<Method>(file[4]);
    if (file.size() < h.size()) throw cut(h.size());
    h.length = load_le32(file.data() + 5);
    h.crc = load_le32(file.data() + 9);
    if (h.method == Method::kOwnRecords) {
        h.record_size = load_le32(file.data() + 13);
        if (h.record_size == 0) throw Failure(name + ": record size 0 in the header");
    }
    return h;
}

void write_header(const Header &h, uint8_t *at) {
    std::memcpy(at, kMagic, sizeof kMagic);
    at[4] = static_cast<uint8_t>(h.method);
    store_le32(at + 5, h.length);
    store_le32(at + 9, h.crc);
    if (h.method == Method::kOwnRecords) store_le32(at + 13, h.record_size);
}

}  // namespace cmpr_tool
