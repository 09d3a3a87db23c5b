// Test support: the codec spelled out step by step with the library's
// exported building blocks, exactly as the format's algorithm reads.  The
// library's own gzip_cmprs/gzip_decmprs take faster roads; differential tests
// hold them to these.
#ifndef CMPR_TESTS_REFERENCE_CODEC_H
#define CMPR_TESTS_REFERENCE_CODEC_H

#include <cstdint>
#include <vector>

namespace cmpr_test {

// gzip_cmprs built from adv_window, adv_history, hashf, huffman,
// encode_length, encode_distance and put_bits.
std::vector<uint8_t> reference_cmprs(const std::vector<uint8_t> &src);

}  // namespace cmpr_test

#endif
