// Test support: deterministic sample data.
#ifndef CMPR_TESTS_TEST_DATA_H
#define CMPR_TESTS_TEST_DATA_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cmpr_test {

using Bytes = std::vector<uint8_t>;
using Sample = std::pair<std::string, Bytes>;

Bytes random_bytes(size_t n, uint64_t seed);
Bytes log_text(size_t n, uint64_t seed);  // daemon-log-like lines
Bytes periodic(size_t n, size_t period, uint64_t seed);
Bytes binary_records(size_t n, uint64_t seed);  // structs with small ints and floats

// Data that shrinks well: text, runs, periodic data, binary records.
std::vector<Sample> compressible_samples();

// Everything a codec should survive: empty, 1-3 bytes, runs, periods near the
// window size, text, binary, random, up to a few MiB.
std::vector<Sample> varied_samples();

}  // namespace cmpr_test

#endif
