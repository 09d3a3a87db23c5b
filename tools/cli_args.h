// The tool's command line.
#ifndef CMPR_TOOLS_CLI_ARGS_H
#define CMPR_TOOLS_CLI_ARGS_H

#include <cstdint>
#include <string>
#include <vector>

namespace cmpr_tool {

enum class Command { kHelp, kCompress, kDecompress, kCrc32, kBench, kInspect, kSalvage };

struct Args {
    Command command = Command::kHelp;
    bool verbose = false;
    std::string codec = "zlib";
    uint64_t record_size = 0;   // 0: not given
    bool json = false;          // inspect
    bool keep_damaged = false;  // salvage
    int fill = -1;              // salvage: 0-255, or -1
    int bench_runs = 5;         // best of this many runs ...
    int bench_min_ms = 100;     // ... of at least this long each
    std::vector<std::string> files;
};

// Throws UsageError for anything it cannot make sense of.  --help anywhere
// asks for help, whatever else the line holds.
Args parse_args(int argc, char **argv);

std::string usage_text();

}  // namespace cmpr_tool

#endif
