// gzip_decmprs: the decompression driver, with a fast road through the bulk
// of the input.
//
// The fast loop decodes the fixed code through combined lookup tables and a
// 64-bit bit buffer filled eight bytes at a time, straight into the output:
// a match copies from the output itself, and only a match that reaches
// before the first output byte reads the 0xFF that the history holds there.
// It runs while a whole symbol's bits are surely inside the input, then
// leaves the decoder state exactly as the byte-at-a-time reader would have
// it at that point (that state is a function of the number of bits used),
// fills the history from the output, and lets the block decoder finish the
// last few bytes.  Reports and escalations are the block decoder's own.
#include <algorithm>
#include <cstring>

#include "api/report.h"
#include "api/unaligned.h"
#include "block_decoder.h"
#include "cmpr.h"
#include "decode_state.h"
#include "fixed_tables.h"

namespace cmpr {
namespace {

constexpr uint32_t kMaxDistance = 8192;  // beyond it, the stream is corrupt
// The block decoder counts output in 32 bits; near the end of that range it
// takes over, so that the count wraps as it does there.
constexpr uint64_t kFastOutputLimit = UINT32_MAX - 258;

struct FastResult {
    uint64_t out;        // bytes written
    uint64_t bits_used;  // bits consumed
    SegmentRun run;
    bool finished;  // an end code ended the decoding
};

// Copies a match of 'len' bytes from 'dist' bytes back (1..32768), never
// writing past out + len.  Bytes before the start of the output are 0xFF.
CMPR_FORCE_INLINE void copy_match(uint8_t *dst, uint64_t out, uint32_t len, uint32_t dist) {
    uint8_t *to = dst + out;
    if (CMPR_UNLIKELY(dist > out)) {  // reaches into the 0xFF before the first byte
        for (uint32_t i = 0; i < len; ++i, ++out) dst[out] = out >= dist ? dst[out - dist] : 0xFF;
        return;
    }
    const uint8_t *from = to - dist;
    if (dist >= 8) {
        // Eight bytes at a time; every byte read was written before.
        uint32_t i = 0;
        for (; i + 8 <= len; i += 8) std::memcpy(to + i, from + i, 8);
        for (; i < len; ++i) to[i] = from[i];
    } else if (dist == 1) {
        std::memset(to, *from, len);
    } else {
        for (uint32_t i = 0; i < len; ++i) to[i] = from[i];
    }
}

FastResult decode_fast(const uint8_t *src, uint32_t src_len, uint8_t *dst) {
    FastResult r{};
    uint64_t bitbuf = 0;  // unconsumed bits, the next one in bit 0
    uint32_t bitcnt = 0;  // how many of them are valid
    uint64_t loaded = 0;  // input bytes taken into bitbuf
    uint64_t out = 0;
    SegmentRun run;
    auto used = [&] { return loaded * 8 - bitcnt; };

    // Each round needs at most 32 + 31 bits; eight readable bytes past the
    // load position leave every round's bits inside the input.
    while (loaded + 8 <= src_len && out <= kFastOutputLimit) {
        bitbuf |= load_le64(src + loaded) << bitcnt;
        loaded += (63 - bitcnt) >> 3;
        bitcnt |= 56;

        const LitLenEntry e = kLitLenTable[bitbuf & 511];
        bitbuf >>= e.bits;
        bitcnt -= e.bits;
        if (CMPR_LIKELY(e.kind == kLiteral)) {
            dst[out++] = static_cast<uint8_t>(e.value);
            run.in_run = false;
            continue;
        }
        if (e.kind == kEndOfSegment) {
            const uint32_t at = static_cast<uint32_t>(used());
            if (!run.in_run)
                CMPR_REPORT("decode_block", 573, kLevelDetail,
                            "EOB %d at bit position 0x%.8x ( byte 0x%.8x )", run.eob_count++, at,
                            (at + 7) >> 3);
            run.in_run = true;
            const uint32_t skip = (32 - at % 32) % 32;  // segments start on 32-bit boundaries
            bitbuf >>= skip;
            bitcnt -= skip;
            if (4 + used() / 8 >= src_len) {  // no more than the look-ahead left
                r.finished = true;
                break;
            }
            continue;
        }
        run.in_run = false;
        const uint32_t len = e.value + static_cast<uint32_t>(bitbuf & ((1u << e.kind) - 1));
        bitbuf >>= e.kind;
        const DistanceEntry d = kDistanceTable[(bitbuf >> 0) & 31];
        bitbuf >>= 5;
        uint32_t dist = d.base + static_cast<uint32_t>(bitbuf & ((1u << d.extra) - 1));
        bitbuf >>= d.extra;
        bitcnt -= e.kind + 5 + d.extra;
        if (CMPR_UNLIKELY(dist > kMaxDistance)) {
            decode_state.bits_used = static_cast<uint32_t>(used());
            escalate_invalid_offset(dist);
            dist = ((dist - 1) & kHistoryMask) + 1;  // where the history ring points
        }
        copy_match(dst, out, len, dist);
        out += len;
    }
    r.out = out;
    r.bits_used = used();
    r.run = run;
    return r;
}

// Leaves the decoder state as the byte-at-a-time reader leaves it after
// 'bits' bits, 'out' bytes of output: it has fetched four bytes beyond the
// byte holding the next bit (zero bytes past the end, which are not counted
// in in_pos), and its history holds the latest output.
void sync_state(const uint8_t *src, uint32_t src_len, const uint8_t *dst, uint64_t bits,
                uint64_t out) {
    DecodeState &st = decode_state;
    const uint64_t next = bits / 8;
    st.bits_used = static_cast<uint32_t>(bits);
    st.bit_pos = static_cast<uint32_t>(bits % 8);
    st.in_pos = static_cast<uint32_t>(std::min<uint64_t>(src_len, next + 4));
    uint8_t ahead[4] = {};
    for (uint64_t i = 0; i < 4 && next + i < src_len; ++i) ahead[i] = src[next + i];
    st.bit_buf = load_le32(ahead);
    st.out_cnt = static_cast<uint32_t>(out);
    st.hist_pos = static_cast<uint32_t>(out & kHistoryMask);
    if (out < kHistorySize) {
        if (out > 0) std::memcpy(st.history, dst, out);  // dst may be null when nothing was written
        st.hist_dirty = std::max(st.hist_dirty, static_cast<uint32_t>(out));
    } else {
        const uint64_t first = out - kHistorySize;
        const uint32_t split = static_cast<uint32_t>(first & kHistoryMask);
        std::memcpy(st.history + split, dst + first, kHistorySize - split);
        std::memcpy(st.history, dst + first + (kHistorySize - split), split);
        st.hist_dirty = kHistorySize;
    }
}

}  // namespace
}  // namespace cmpr

extern "C" uint32_t gzip_decmprs(const uint8_t *src, uint32_t src_len, uint8_t *dst) {
    using namespace cmpr;
    DecodeState &st = decode_state;
    // The reset: history all 0xFF (only what the last decoding wrote needs
    // filling again), fresh tables, no input read and no output yet.
    refill_history(st);
    lut_init();
    st.in_base = src;
    st.in_len = src_len;

    const FastResult r = decode_fast(src, src_len, dst);
    sync_state(src, src_len, dst, r.bits_used, r.out);
    if (!r.finished) decode_fixed_rest(src, dst, r.run);
    return st.out_cnt;
}
