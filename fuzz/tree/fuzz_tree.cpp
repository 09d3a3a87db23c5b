// Code trees from arbitrary length tables.
//
// Input layout: byte 0 holds flags, bytes 1-2 the number of entries (little
// endian, up to 1024), then one byte per entry (see length_of), and the rest
// is a bit stream to walk.
//
// Checked for every table: entries without a length of 1-16 keep their code;
// a set that is not over-subscribed gets the canonical codes and each of them
// walks back to its symbol.  A complete set also makes exactly 2N - 2 nodes,
// decodes any bit stream into codes that are prefixes of it, and drives the
// block decoder's tree mode.  An over-subscribed set is only printed and
// walked with get_direct(), which cannot end the process.  Nothing here can
// walk into a missing child, which ends the process on purpose.
//
// The library never frees tree nodes; the harness frees the ones it had
// built, so the leak checker still sees everything else.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "cmpr.h"
#include "decode/decode_state.h"
#include "fuzz_support.h"
#include "support/owned_tree.h"

namespace {

using cmpr::decode_state;

constexpr size_t kMaxEntries = 1024;
constexpr size_t kMaxTreeModeInput = 64;

enum Flags : uint8_t {
    kEmptyFirst = 1,  // build from a negative count first
    kDump = 2,        // print the tree
};

// Mostly 0-16; the top sixteen byte values stand for lengths no code has.
int32_t length_of(uint8_t b) {
    static const int32_t kOdd[16] = {-1,  -2,      17,        31,        32,  33, 64,  100,
                                     255, 0x10000, INT32_MAX, INT32_MIN, -16, 18, -17, 1000};
    return b < 0xF0 ? b % 17 : kOdd[b - 0xF0];
}

bool has_code(const code_entry &e) {
    return e.len >= 1 && e.len <= 16;
}

int32_t untouched_code(size_t i) {
    return static_cast<int32_t>(0x5EED0000u | static_cast<uint32_t>(i));
}

// Bit 'p' of a stream, zero past its end.
uint32_t bit_at(const uint8_t *s, size_t len, uint64_t p) {
    return p / 8 < len ? (s[p / 8] >> (p % 8)) & 1u : 0u;
}

// Appends codes most significant bit first, as the stream carries them.
struct StreamWriter {
    std::vector<uint8_t> bytes;
    uint64_t bits = 0;
    void code(uint32_t c, int32_t len) {
        for (int32_t i = len - 1; i >= 0; --i, ++bits) {
            if (bits % 8 == 0) bytes.push_back(0);
            bytes.back() = static_cast<uint8_t>(bytes.back() | ((c >> i) & 1u) << (bits % 8));
        }
    }
};

// DEFLATE's canonical codes, computed here on their own.
std::vector<int32_t> canonical_codes(const std::vector<code_entry> &lens) {
    uint32_t count[17] = {}, next[17] = {};
    for (const code_entry &e : lens)
        if (has_code(e)) ++count[e.len];
    for (int len = 2; len <= 16; ++len) next[len] = (next[len - 1] + count[len - 1]) << 1;
    std::vector<int32_t> codes;
    for (const code_entry &e : lens)
        codes.push_back(has_code(e) ? static_cast<int32_t>(next[e.len]++) : e.code);
    return codes;
}

// Every assigned code, one after the other, walks back to its symbol and
// takes exactly its own bits.
void walk_every_code(const std::vector<code_entry> &table, tree_node *root) {
    StreamWriter w;
    for (const code_entry &e : table)
        if (has_code(e)) w.code(static_cast<uint32_t>(e.code), e.len);
    if (w.bits == 0) return;
    cmpr::reset_decoder(w.bytes.data(), static_cast<uint32_t>(w.bytes.size()));
    for (size_t s = 0; s < table.size(); ++s) {
        if (!has_code(table[s])) continue;
        const uint32_t before = decode_state.bits_used;
        FUZZ_CHECK(get_symbol(w.bytes.data(), 0, root) == s);
        FUZZ_CHECK(decode_state.bits_used - before == static_cast<uint32_t>(table[s].len));
        const int32_t bits_lsb_first =
            static_cast<int32_t>(reverse(static_cast<uint32_t>(table[s].code), table[s].len));
        FUZZ_CHECK(get_direct(bits_lsb_first, 0, root) == s);
    }
}

// In a complete code every bit string begins with exactly one code.
void walk_any_bits(const std::vector<code_entry> &table, tree_node *root, const uint8_t *s,
                   size_t len) {
    cmpr::reset_decoder(s, static_cast<uint32_t>(len));
    while (decode_state.bits_used < 8 * len) {
        const uint64_t at = decode_state.bits_used;
        const uint32_t sym = get_symbol(s, 0, root);
        FUZZ_CHECK(sym < table.size() && has_code(table[sym]));
        const code_entry &e = table[sym];
        FUZZ_CHECK(decode_state.bits_used - at == static_cast<uint32_t>(e.len));
        uint32_t read = 0;
        for (int32_t i = 0; i < e.len; ++i) read = read << 1 | bit_at(s, len, at + i);
        FUZZ_CHECK(read == static_cast<uint32_t>(e.code));
    }
}

// The block decoder with the tree for both literals/lengths and distances.
// Every symbol that writes begins before the last 1 bit and takes at least
// one bit, and none writes more than 258 bytes.
void decode_in_tree_mode(tree_node *root, const uint8_t *s, size_t len) {
    len = len < kMaxTreeModeInput ? len : kMaxTreeModeInput;
    const size_t room = 258 * 8 * len + 1;
    std::unique_ptr<uint8_t[]> dst(new uint8_t[room]);
    cmpr_fuzz::reset_tally();
    cmpr::reset_decoder(s, static_cast<uint32_t>(len));
    decode_block(s, 2, root, root, dst.get());
    FUZZ_CHECK(decode_state.out_cnt < room);
    FUZZ_CHECK(cmpr_fuzz::reboot_commands() == cmpr_fuzz::tally().corrupt_distances);
    FUZZ_CHECK(cmpr_fuzz::tally().reboot_notices == cmpr_fuzz::tally().corrupt_distances);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    cmpr_fuzz::install_quiet_trace();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3) return -1;
    const uint8_t flags = data[0];
    size_t entries = (data[1] | size_t{data[2]} << 8) % (kMaxEntries + 1);
    if (entries > size - 3) entries = size - 3;
    const uint8_t *rest = data + 3 + entries;
    const size_t rest_len = size - 3 - entries;

    std::vector<code_entry> table;
    uint64_t kraft = 0;  // in units of 2^-16
    int32_t longest = 0;
    size_t assigned = 0;
    for (size_t i = 0; i < entries; ++i) {
        table.push_back({untouched_code(i), length_of(data[3 + i])});
        if (!has_code(table.back())) continue;
        kraft += uint64_t{1} << (16 - table.back().len);
        longest = table.back().len > longest ? table.back().len : longest;
        ++assigned;
    }
    const bool complete = kraft == (1u << 16);
    const bool over_subscribed = kraft > (1u << 16);

    cmpr_test::OwnedTree tree;
    if (flags & kEmptyFirst) {
        std::vector<code_entry> before = table;
        get_table(table.data(), -static_cast<int32_t>(entries) - 1, &tree.root);
        FUZZ_CHECK(tree.root.zero == nullptr && tree.root.one == nullptr);
        for (size_t i = 0; i < entries; ++i) FUZZ_CHECK(table[i].code == before[i].code);
    }
    const std::vector<int32_t> canonical = canonical_codes(table);
    get_table(table.data(), static_cast<int32_t>(entries), &tree.root);
    FUZZ_CHECK(tree.root.leaf == 0);
    for (size_t i = 0; i < entries; ++i)
        if (!has_code(table[i])) FUZZ_CHECK(table[i].code == untouched_code(i));

    if (!over_subscribed) {
        for (size_t i = 0; i < entries; ++i) FUZZ_CHECK(table[i].code == canonical[i]);
        walk_every_code(table, &tree.root);
    } else {
        // Codes overlap here: only the walk that cannot end the process.
        for (const code_entry &e : table)
            if (has_code(e))
                get_direct(static_cast<int32_t>(reverse(static_cast<uint32_t>(e.code), e.len)), 0,
                           &tree.root);
    }
    if (complete) {
        FUZZ_CHECK(cmpr_test::count_below(&tree.root) == static_cast<int>(2 * assigned - 2));
        walk_any_bits(table, &tree.root, rest, rest_len);
        decode_in_tree_mode(&tree.root, rest, rest_len);
    }

    // Arbitrary values and starting levels through the printing walk.
    for (size_t i = 0; i + 5 <= rest_len && i < 40; i += 5) {
        const int32_t value = static_cast<int32_t>(rest[i] | rest[i + 1] << 8 | rest[i + 2] << 16 |
                                                   static_cast<uint32_t>(rest[i + 3]) << 24);
        get_direct(value, static_cast<int32_t>(rest[i + 4] % 40) - 4, &tree.root);
    }
    if (flags & kDump) dump_tree(&tree.root, longest >= 9 ? 511 : (1 << longest) - 1);
    return 0;
}
