// Internal: the block decoder's pieces that the fast decoder shares.
#ifndef CMPR_SRC_DECODE_BLOCK_DECODER_H
#define CMPR_SRC_DECODE_BLOCK_DECODER_H

#include <cstdint>

namespace cmpr {

// Where a decoding stands between two symbols, beyond the decoder state: how
// many segment ends were traced, and whether the last symbol was an end code
// (the zero filler between segments reads as end codes that are not traced).
struct SegmentRun {
    int eob_count = 0;
    bool in_run = false;
};

// An end code read with 'bits_used' bits gone: traces it unless it continues
// a run of end codes, and opens a run.
void segment_end(SegmentRun &run, uint32_t bits_used);

// Reports a corrupt distance, dumps the input and escalates; returns so that
// decoding goes on.  Reads bits_used and in_base of the decoder state.
[[gnu::cold, gnu::noinline]] void escalate_invalid_offset(uint32_t distance);

// Decodes the fixed code from the decoder state's position to the end, as
// decode_block() in mode 1 does, continuing 'run'.
void decode_fixed_rest(const uint8_t *src, uint8_t *dst, SegmentRun run);

}  // namespace cmpr

#endif
