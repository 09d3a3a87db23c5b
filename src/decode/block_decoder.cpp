// The block decoder: symbols to bytes through the history window, segment
// ends, and the escalation of a corrupt distance.
#include <cstdint>
#include <cstdio>

#include "api/hexdump.h"
#include "bit_reader.h"
#include "block_decoder.h"
#include "code_tree.h"
#include "common/report.h"
#include "decode_state.h"
#include "shell.h"
#include "stream_format.h"

namespace {

using cmpr::decode_state;
using cmpr::DecodeState;

constexpr uint32_t kEndCode = 256;
constexpr uint32_t kFirstLength = 257;

// The decoder-side dump: header line 55, then rows of line 63 from 32 bytes
// before 'buf', two rows more than the length asks for, so the bytes just
// before the input show too.  Rows that cannot be read are left out.
void dbg_hex_dump(const uint8_t *buf, int32_t len, const char *label) {
    CMPR_REPORT("dbg_hex_dump", 55, cmpr::kLevelError, "%s: buffer dump:", label);
    cmpr::dump_rows_at(reinterpret_cast<std::uintptr_t>(buf) - 32, cmpr::dump_rows(len) + 2, 63);
}

}  // namespace

// A distance beyond the window means the stream is corrupt.  The unit's
// policy is to reboot rather than run on with damaged data, after putting
// everything that helps debugging into the logs: the message, a dump of the
// input and the traces.  Decoding goes on afterwards all the same.
void cmpr::escalate_invalid_offset(uint32_t distance) {
    const DecodeState &st = decode_state;
    int shown = static_cast<int>(distance);  // at most 65535
    unsigned byte = st.bits_used >> 3;       // the byte holding the bit after the distance
    std::fprintf(stderr, "invalid offset -> %4d at byte 0x%.8x\n", shown, byte);
    dbg_hex_dump(st.in_base, 100, "invalid offset");
    CMPR_REPORT("decode_block", 724, cmpr::kLevelError, "invalid offset -> %4d at byte 0x%.8x",
                shown, byte);
    if (cmpr::crash_on_fail == 0) return;
    static const char kBanner[] = "\n## MORB: hit unrecoverable data compression failure.\n";
    static const char kReason[] =
        "## Need to reboot QZ to preserve the logs for debugging this failure.\n\n";
    std::fwrite(kBanner, 1, sizeof kBanner - 1, stderr);
    std::fwrite(kReason, 1, sizeof kReason - 1, stderr);
    CMPR_REPORT("decode_block", 726, cmpr::kLevelError, "## Crash QZ");
    // The reboot must not lose what is still buffered for the logs.
    std::fflush(stdout);
    std::fflush(stderr);
    cmpr::hand_reboot_to_shell();
}

// Only the first end code of a run is traced: the zero filler between
// segments reads as more end codes.
void cmpr::segment_end(SegmentRun &run, uint32_t bits_used) {
    if (!run.in_run)
        CMPR_REPORT("decode_block", 573, kLevelDetail,
                    "EOB %d at bit position 0x%.8x ( byte 0x%.8x )", run.eob_count++, bits_used,
                    (bits_used + 7) >> 3);
    run.in_run = true;
}

namespace {

enum class Mode { kFixed, kRaw, kTree };

template <Mode M>
uint32_t read_symbol(const uint8_t *src, const tree_node *tree) {
    if constexpr (M == Mode::kFixed) return cmpr::read_lcode(src);
    if constexpr (M == Mode::kRaw) return cmpr::read_bits(src, 9);
    if constexpr (M == Mode::kTree) return cmpr::walk_tree(src, tree);
}

template <Mode M>
uint32_t read_distance_code(const uint8_t *src, const tree_node *tree) {
    if constexpr (M == Mode::kFixed) return cmpr::read_ocode(src);
    if constexpr (M == Mode::kRaw) return cmpr::read_bits(src, 5);
    if constexpr (M == Mode::kTree) return cmpr::walk_tree(src, tree);
}

uint32_t match_length(const uint8_t *src, uint32_t symbol) {
    return cmpr::length_base(symbol) + cmpr::read_bits(src, cmpr::length_extra_bits(symbol));
}

uint32_t match_distance(const uint8_t *src, uint32_t code) {
    return cmpr::distance_base(code) + cmpr::read_bits(src, cmpr::distance_extra_bits(code));
}

// Decoding ends only after an end code, at the first one whose 32-bit
// alignment leaves no more than the look-ahead's four bytes unread.  Two
// inputs would otherwise keep it going for ever, writing past any output
// buffer: a symbol other than the end code read when nothing but zero bits
// is left (every later symbol reads the same; the fixed code reads zeros as
// the end code, raw mode as literal 0), and a symbol that took no bits at
// all (a caller's tree whose root is a leaf).  Both end the decoding before
// anything of them is written.
template <Mode M>
void decode_symbols(const uint8_t *src, const tree_node *lit_tree, const tree_node *dist_tree,
                    uint8_t *dst, cmpr::SegmentRun &run) {
    DecodeState &st = decode_state;
    for (;;) {
        const uint32_t start = st.bits_used;
        const bool zeros_only = cmpr::only_zeros_ahead();
        const uint32_t symbol = read_symbol<M>(src, lit_tree);

        if (symbol == kEndCode) {
            cmpr::segment_end(run, st.bits_used);
            // Segments start on 32-bit boundaries of the buffer.
            if (st.bits_used % 32 != 0) cmpr::read_bits(src, 32 - st.bits_used % 32);
            if (st.in_pos == st.in_len) return;
            if (st.bits_used == start) return;
            continue;
        }
        run.in_run = false;
        if (zeros_only) return;

        uint32_t length = 1;
        uint32_t distance = 0;
        if (symbol >= kFirstLength) {
            length = match_length(src, symbol);
            distance = match_distance(src, read_distance_code<M>(src, dist_tree));
        }
        if (st.bits_used == start) return;

        if (distance == 0) {
            st.history[st.hist_pos] = static_cast<uint8_t>(symbol);
            dst[st.out_cnt++] = static_cast<uint8_t>(symbol);
            st.hist_pos = (st.hist_pos + 1) & cmpr::kHistoryMask;
            continue;
        }
        if (distance > cmpr::kMaxSilentDistance) cmpr::escalate_invalid_offset(distance);
        // Byte by byte through the history: a distance shorter than the
        // length repeats the latest bytes.
        for (uint32_t i = 0; i < length; ++i) {
            uint8_t b = st.history[(st.hist_pos - distance) & cmpr::kHistoryMask];
            dst[st.out_cnt++] = b;
            st.history[st.hist_pos] = b;
            st.hist_pos = (st.hist_pos + 1) & cmpr::kHistoryMask;
        }
    }
}

// Runs the loop for 'M' and keeps account of the history bytes it leaves
// other than 0xFF, which the next reset has to fill again.
template <Mode M>
void decode_tracked(const uint8_t *src, const tree_node *lit_tree, const tree_node *dist_tree,
                    uint8_t *dst, cmpr::SegmentRun run) {
    DecodeState &st = decode_state;
    const uint32_t first_out = st.out_cnt, first_pos = st.hist_pos;
    decode_symbols<M>(src, lit_tree, dist_tree, dst, run);
    const uint32_t written = st.out_cnt - first_out;
    if (written >= cmpr::kHistorySize - first_pos)
        st.hist_dirty = cmpr::kHistorySize;
    else if (first_pos + written > st.hist_dirty)
        st.hist_dirty = first_pos + written;
}

}  // namespace

void cmpr::decode_fixed_rest(const uint8_t *src, uint8_t *dst, SegmentRun run) {
    decode_tracked<Mode::kFixed>(src, nullptr, nullptr, dst, run);
}

extern "C" int32_t decode_block(const uint8_t *src, int32_t mode, tree_node *lit_tree,
                                tree_node *dist_tree, uint8_t *dst) {
    switch (mode) {
        case 1:
            decode_tracked<Mode::kFixed>(src, lit_tree, dist_tree, dst, {});
            break;
        case 3:
            decode_tracked<Mode::kRaw>(src, lit_tree, dist_tree, dst, {});
            break;
        default:
            decode_tracked<Mode::kTree>(src, lit_tree, dist_tree, dst, {});
            break;
    }
    return 0;
}
