// Test support: an independent reader of the own stream format, used as an
// oracle for the compressor (which tokens it chose) and for the decoder.
#ifndef CMPR_TESTS_STREAM_PARSER_H
#define CMPR_TESTS_STREAM_PARSER_H

#include <cstdint>
#include <string>
#include <vector>

namespace cmpr_test {

struct Token {
    uint32_t len;   // 1 for a literal
    uint32_t dist;  // 0 for a literal
    uint8_t byte;   // the literal's value
};

struct ParsedSegment {
    std::vector<Token> tokens;   // up to, not including, the end code
    std::vector<uint8_t> bytes;  // what the tokens stand for (0xFF before the start)
    size_t end_bit = 0;          // bit position just after the end code
    bool ended = false;          // an end code was found inside the input
};

// Reads one segment from the start of 'seg'.
ParsedSegment parse_segment(const std::vector<uint8_t> &seg);

}  // namespace cmpr_test

#endif
