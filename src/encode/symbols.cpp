#include "stream_format.h"

#include "cmpr.h"

extern "C" {

void huffman(uint32_t sym, code_entry *out) {
    cmpr::Code c = cmpr::litlen_code(sym);
    out->code = static_cast<int32_t>(c.code);
    out->len = static_cast<int32_t>(c.len);
}

uint32_t encode_length(uint32_t mlen, uint32_t *xval, uint32_t *xbits) {
    return cmpr::length_symbol(mlen, *xval, *xbits);
}

uint32_t encode_distance(uint32_t dist, uint32_t *xval, uint32_t *xbits) {
    return cmpr::distance_code(dist, *xval, *xbits);
}

}  // extern "C"
