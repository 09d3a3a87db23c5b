// `cmpr bench`: the library's codecs beside zlib level 1, round trip checked.
#ifndef CMPR_TOOLS_BENCH_CMD_H
#define CMPR_TOOLS_BENCH_CMD_H

#include <string>
#include <vector>

namespace cmpr_tool {

struct BenchSettings {
    int runs;    // report the best of this many runs ...
    int min_ms;  // ... each repeating the operation for at least this long
};

// Measures each file, or the built-in sample when 'files' is empty, and
// prints a table per input.  An input that fails (a codec that does not give
// it back byte for byte) is reported and the others are still measured;
// returns 1 when one did.
int run_bench(const std::vector<std::string> &files, const BenchSettings &settings);

}  // namespace cmpr_tool

#endif
