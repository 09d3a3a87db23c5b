// The decompression driver of the own codec.
#include "cmpr.h"
#include "decode_state.h"

extern "C" uint32_t gzip_decmprs(const uint8_t *src, uint32_t src_len, uint8_t *dst) {
    cmpr::reset_decoder(src, src_len);
    // Mode 1 reads the fixed code; the trees are not used.
    decode_block(src, 1, &litlen_tree, &offset_tree, dst);
    return cmpr::decode_state.out_cnt;
}
