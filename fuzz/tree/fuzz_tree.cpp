// Code trees from arbitrary length tables.  Byte 0: flags; bytes 1-2: the
// number of entries (up to 1024); a byte per entry's length (mostly 0-16, the
// top sixteen values lengths no code has); the rest: bits.  Entries without a
// length of 1-16 stay out of the tree; in a set that is not over-subscribed
// each code walks back to its symbol; a complete one makes
// 2N - 2 nodes and drives the block decoder's tree mode.  Only get_direct,
// which cannot end the process, walks over-subscribed sets and any value.
#include <algorithm>
#include <climits>
#include <cstring>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    cmpr_fuzz::silence_library_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const int32_t kOdd[16] = {-1,  -2,      17,        31,        32,  33, 64,  100,
                                     255, 0x10000, INT32_MAX, INT32_MIN, -16, 18, -17, 1000};
    if (size < 3) return -1;
    const size_t entries = std::min((data[1] | size_t{data[2]} << 8) % 1025, size - 3);
    const uint8_t *rest = data + 3 + entries;
    const size_t rest_len = size - 3 - entries;
    std::vector<code_entry> table;
    uint64_t kraft = 0, assigned = 0;  // in units of 2^-16
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t b = data[3 + i];
        table.push_back({0, b < 0xF0 ? b % 17 : kOdd[b - 0xF0]});
        if (table[i].len < 1 || table[i].len > 16) continue;
        kraft += 1u << (16 - table[i].len);
        ++assigned;
    }
    cmpr_test::OwnedTree tree;
    get_table(table.data(), static_cast<int32_t>(entries), &tree.root);
    for (size_t i = 0; i < entries && kraft <= (1u << 16);
         ++i) {  // each code walks back to its symbol
        const auto code = static_cast<uint32_t>(table[i].code);
        if (table[i].len >= 1 && table[i].len <= 16)
            FUZZ_CHECK(
                get_direct(static_cast<int32_t>(reverse(code, table[i].len)), 0, &tree.root) == i);
    }
    if (kraft == (1u << 16)) {
        FUZZ_CHECK(cmpr_test::count_below(&tree.root) == static_cast<int>(2 * assigned - 2));
        const size_t len = std::min<size_t>(rest_len, 64), room = 258 * 8 * len + 1;
        std::vector<uint8_t> dst(room);
        cmpr_test::TraceCapture cap;
        cmpr_test::shell_reboots() = 0;
        cmpr::reset_decoder(rest, static_cast<uint32_t>(len));
        decode_block(rest, 2, &tree.root, &tree.root, dst.data());
        FUZZ_CHECK(cmpr::decode_state.out_cnt < room);
        size_t corrupt = 0;
        for (const std::string &r : cap.reports) corrupt += r.rfind("decode_block-724-3: ", 0) == 0;
        FUZZ_CHECK(cmpr_test::shell_reboots() == corrupt);
    }
    for (size_t i = 0; i + 5 <= rest_len && i < 40; i += 5) {  // any value from any level
        int32_t value;
        std::memcpy(&value, rest + i, 4);
        get_direct(value, static_cast<int32_t>(rest[i + 4] % 40) - 4, &tree.root);
    }
    if (data[0] & 1) dump_tree(&tree.root, 511);
    return 0;
}
