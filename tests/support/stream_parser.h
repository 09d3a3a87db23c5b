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

// A segment written token by token, for hand-built streams.
class SegmentWriter {
   public:
    SegmentWriter &literal(uint8_t b);
    SegmentWriter &match(uint32_t len, uint32_t dist);
    SegmentWriter &symbol(uint32_t sym);                  // a literal/length code only
    SegmentWriter &raw_bits(uint32_t value, uint32_t n);  // least significant first
    SegmentWriter &code_bits(uint32_t code, uint32_t n);  // most significant first
    SegmentWriter &end();                                 // end code plus one zero bit, byte filler
    std::vector<uint8_t> bytes() const;
    size_t bit_count() const { return bits_.size(); }

   private:
    std::vector<uint8_t> bits_;
};

}  // namespace cmpr_test

#endif
