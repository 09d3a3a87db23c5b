// The own codec's stream format: what every writer and reader of it binds
// itself to, each rule named once.  The compressor and the bit writer, the
// decoder, and the checker that reads segments without writing output all
// take the format from here (stream_codes.h adds the tables that read it).
//
// A segment is a run of symbols in DEFLATE's fixed literal/length code,
// with a 5-bit distance code of the format's own, ended by the end code.
// Bits fill each byte from its least significant bit; a code travels most
// significant bit first, extra bits as a plain number least significant bit
// first.  There is no header, no length and no checksum.
#ifndef CMPR_SRC_FORMAT_STREAM_FORMAT_H
#define CMPR_SRC_FORMAT_STREAM_FORMAT_H

#include <bit>
#include <cstdint>

namespace cmpr {

// ---- Symbols ----------------------------------------------------------------

inline constexpr uint32_t kEndOfSegmentSymbol = 256;  // code 0000000: seven zero bits
inline constexpr uint32_t kEndCodeBits = 7;
inline constexpr uint32_t kMinMatch = 3;
inline constexpr uint32_t kMaxMatch = 258;

// The low 'n' bits of 'v' in reverse order (0 for n <= 0, n at most 32).
// Codes travel most significant bit first while bits are packed from bit 0
// up, so a code's stream form is the code reversed.
constexpr uint32_t reverse_low_bits(uint32_t v, int32_t n) {
    uint32_t r = 0;
    for (int32_t i = 0; i < n; ++i) r |= ((v >> i) & 1u) << (n - 1 - i);
    return r;
}

struct Code {
    uint32_t code;  // most significant bit first over 'len' bits
    uint32_t len;
};

// The fixed literal/length code: literals 0-143 in 8 bits, 144-255 in 9,
// the end code and lengths 257-279 in 7, lengths 280-287 in 8.
constexpr Code litlen_code(uint32_t sym) {
    if (sym < 144) return {sym + 0x30, 8};
    if (sym < 256) return {sym + 0x100, 9};
    if (sym < 280) return {sym - 0x100, 7};
    return {sym - 0x58, 8};
}

// What a match symbol (257 and above) and a distance code stand for: a base
// and a number of extra bits whose value is added to it.  Symbols beyond 284
// all mean 258 without extra bits (285 as the writer sends it; 286 and above,
// which only a caller's own trees or altered tables yield, as 287 does).  A
// distance code is the binary form of the distance, its top two bits in the
// code (distances 1-5 have codes 0-4 of their own); codes above 31, which
// only a caller's trees yield, act as 31.
constexpr uint32_t length_extra_bits(uint32_t symbol) {
    return symbol < 265 || symbol > 284 ? 0 : (symbol - 261) >> 2;
}
constexpr uint32_t length_base(uint32_t symbol) {
    if (symbol < 265) return symbol - 254;  // 257-264: 3-10
    if (symbol > 284) return kMaxMatch;
    const uint32_t s = symbol - 257, e = length_extra_bits(symbol);
    return (1u << (e + 2)) + (s & 3) * (1u << e) + 3;
}
constexpr uint32_t distance_extra_bits(uint32_t code) {
    if (code > 31) code = 31;
    return code < 5 ? 0 : (code - 2) >> 1;
}
constexpr uint32_t distance_base(uint32_t code) {
    if (code > 31) code = 31;
    if (code < 5) return code + 1;
    const uint32_t e = distance_extra_bits(code);
    return (2u << e) + (code & 1) * (1u << e);
}

// A match length 3..258 as its symbol and extra bits (shorter lengths give
// symbols 254..256, as the arithmetic says).  258 is always symbol 285.
constexpr uint32_t length_symbol(uint32_t mlen, uint32_t &xval, uint32_t &xbits) {
    xval = 0;
    xbits = 0;
    if (mlen <= 6) return mlen + 254;
    if (mlen >= kMaxMatch) return 285;
    uint32_t t = mlen - 7;
    uint32_t e = 0;
    while (e < 5 && t >= 4 * ((2u << e) - 1)) ++e;
    uint32_t r = t - 4 * ((1u << e) - 1);
    xbits = e;
    xval = r & ((1u << e) - 1);
    return 261 + 4 * e + (r >> e);
}

// A distance 1..65535 as its code and extra bits, formed from the distance's
// own binary digits (code 2m + bit m-1 for a distance whose highest set bit
// is m).  0 has no code and yields code 0; larger distances act as 65535.
constexpr uint32_t distance_code(uint32_t dist, uint32_t &xval, uint32_t &xbits) {
    xval = 0;
    xbits = 0;
    if (dist <= 5) return dist == 0 ? 0 : dist - 1;
    if (dist > 0xFFFF) dist = 0xFFFF;
    const uint32_t m = static_cast<uint32_t>(std::bit_width(dist)) - 1;  // highest set bit
    xbits = m - 1;
    xval = dist & ((1u << (m - 1)) - 1);
    return 2 * m + ((dist >> (m - 1)) & 1u);
}

// ---- Distances --------------------------------------------------------------

// The writer's window: the latest input positions, a ring indexed by mask.
inline constexpr uint32_t kCompressorWindowSize = 8192;
inline constexpr uint32_t kCompressorWindowMask = kCompressorWindowSize - 1;

// The largest distance a writer uses.  A step at position p has the window
// filled up to p + 2, the last byte it hashes, so a candidate's three bytes
// are all still in the window up to this distance back.  A writer never
// reaches before the first byte of its own segment either.
inline constexpr uint32_t kMaxMatchDistance = kCompressorWindowSize - 3;

// The largest distance a reader accepts silently.  A larger one means the
// stream is corrupt: the decoder reports and escalates it, then decodes on.
inline constexpr uint32_t kMaxSilentDistance = 8192;

// ---- Segments and their joining ----------------------------------------------

// A writer ends a segment with the end code and one more zero bit, then
// zero bits up to the byte boundary.  Segments joined in one buffer each
// start on a multiple of kSegmentAlign bytes from the buffer's start, with
// zero bytes between them.
inline constexpr uint32_t kEndZeroBits = 8;
inline constexpr uint32_t kSegmentAlign = 4;

// The reader skips to the next multiple of 32 bits after every end code, and
// then stops when no more than kReaderLookahead bytes of the buffer are left
// (it fetches that far ahead of the bits it has used); otherwise it reads
// the next symbol at once.  Past the end of the buffer it sees zero bits, so
// a code cut off there is completed with zeros and then reads an end code.
inline constexpr uint32_t kReaderLookahead = 4;

// Whether the reader, aligned at byte 'at' after an end code, stops there.
constexpr bool reader_stops_at(uint64_t at, uint64_t len) {
    return at + kReaderLookahead >= len;
}

// The most bytes one segment of 'n' input bytes takes: no symbol costs more
// than 9 bits per input byte (a literal of 144-255), and the end adds 8 bits
// before the byte filler.
constexpr uint64_t max_segment_bytes(uint64_t n) {
    return (9 * n + 7) / 8 + 1;
}

}  // namespace cmpr

#endif
