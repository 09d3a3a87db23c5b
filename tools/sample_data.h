// The built-in sample that `cmpr bench` and the benchmarks measure on: data
// like what the daemon hands the library, made in memory from fixed seeds so
// every run and every machine sees the same bytes.
#ifndef CMPR_TOOLS_SAMPLE_DATA_H
#define CMPR_TOOLS_SAMPLE_DATA_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cmpr_tool {

using Bytes = std::vector<uint8_t>;

Bytes sample_log_text(size_t n);    // syslog-like lines of a daemon
Bytes sample_records(size_t n);     // 32-byte binary measurement records
Bytes sample_repetitive(size_t n);  // status pages repeated with small changes, erased runs

// 2 MiB of log text, 1 MiB of records and 1 MiB of repetitive data, in that order.
Bytes builtin_sample();

}  // namespace cmpr_tool

#endif
