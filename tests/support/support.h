// Shared by the tests and the fuzz targets: sample data, the step-by-step
// reference codec and decoder, and captures of what the library reports and
// hands to the shell.  Needs no test framework.
#ifndef CMPR_TESTS_SUPPORT_H
#define CMPR_TESTS_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cmpr.h"
#include "decode/decode_state.h"

namespace cmpr_test {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

inline Bytes str(const char *s) {
    return Bytes(s, s + std::char_traits<char>::length(s));
}

// Deterministic data: the same bytes on every target and compiler.
Bytes random_bytes(size_t n, uint64_t seed);
Bytes log_text(size_t n, uint64_t seed);  // daemon-log-like lines
Bytes periodic(size_t n, size_t period, uint64_t seed);
Bytes binary_records(size_t n, uint64_t seed);  // small structs of counters and floats
// Larger inputs a codec must get right: runs, periods (short, and around the
// window size), text, records, random bytes, up to 3 MiB.
std::vector<std::pair<std::string, Bytes>> varied_samples();

// Length 3 at distance 8193, the literal 'z', the end of the segment: decodes
// to ff ff ff 7a with one corrupt-distance report and escalation.
extern const Bytes kCorruptDistance;

// gzip_cmprs into exactly CMPR_GZIP_CMPRS_BOUND bytes; fails the run when a
// byte past the result changed.
Bytes compress(const Bytes &in);
// Records as the unit joins them: each its own segment, padded with zero
// bytes to a multiple of 4, and four zero bytes at the end.  'starts', where
// given, gets each segment's offset and then where the four bytes begin.
Bytes join_segments(const std::vector<Bytes> &records, std::vector<size_t> *starts = nullptr);
// gzip_cmprs spelled out with the exported building blocks, step by step.
Bytes reference_cmprs(const Bytes &in);

// Everything a host sees of one decompression.
struct Decoded {
    uint32_t result = 0;
    Bytes out;
    std::vector<std::string> reports;  // "func-line-level: message"
    size_t reboots = 0;                // reboots handed to the shell
    cmpr::DecodeState state{};
};
using Decoder = uint32_t (*)(const uint8_t *, uint32_t, uint8_t *);
// Decodes into exactly CMPR_GZIP_DECMPRS_BOUND(len) bytes.
Decoded observe(Decoder decode, const uint8_t *src, uint32_t len);
// The block decoder after the driver's reset, in mode 'block_mode' (the
// fixed code unless a test says otherwise), with the exported tree roots.
extern int32_t block_mode;
uint32_t reference_decmprs(const uint8_t *src, uint32_t len, uint8_t *dst);
// What differs between two decodings, empty when nothing does.
std::string difference(const Decoded &a, const Decoded &b);

// The rows that a failure dump reports on line 'line', as the capture shows
// them: 'rows' rows of 20 bytes from 'first', each as five big-endian words.
Lines dump_rows(int line, const uint8_t *first, int rows);

// Installs a capturing trace function while alive, then puts back the old one.
struct TraceCapture {
    TraceCapture();
    ~TraceCapture();
    Lines &reports;  // as in Decoded
};
// Reboots handed to the shell stand-in since the last reset to 0.
size_t &shell_reboots();

// At least 'size' bytes between two unmapped pages: start is right after the
// first, end is the second.
struct GuardedBuffer {
    explicit GuardedBuffer(size_t size);
    ~GuardedBuffer();
    uint8_t *start, *end;
};

// Code trees whose nodes the test frees (the library never does).
struct OwnedTree {
    tree_node root{};
    ~OwnedTree();
    std::vector<code_entry> build(const std::vector<int32_t> &lengths);
};
int count_below(const tree_node *n);
void free_below(tree_node *n);

}  // namespace cmpr_test

// Joins byte strings and table contents.
template <class T>
std::vector<T> operator+(std::vector<T> a, const std::vector<T> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

#endif
