// The tool's command line: gzip's and zstd's habits in subcommand style.
#ifndef CMPR_TOOLS_CLI_ARGS_H
#define CMPR_TOOLS_CLI_ARGS_H

#include <cstdint>
#include <string>
#include <vector>

namespace cmpr_tool {

enum class Command {
    kHelp,
    kVersion,
    kCompress,
    kDecompress,
    kTest,
    kList,
    kCrc32,
    kBench,
    kInspect,
    kSalvage
};

struct Args {
    Command command = Command::kHelp;
    bool verbose = false;
    bool quiet = false;
    bool to_stdout = false;     // -c
    std::string output;         // -o FILE; empty: not given
    bool force = false;         // -f
    bool remove_input = false;  // --rm; -k turns it off again
    bool raw = false;           // bare own-codec segments
    std::string codec;          // compress: "zlib" or "own"
    uint64_t record_size = 0;   // 0: not given
    bool json = false;          // inspect
    bool all = false;           // inspect: every row
    int swap = 0;               // inspect, salvage: 16 or 32
    bool keep_damaged = false;  // salvage
    int fill = -1;              // salvage: 0-255, or -1
    int bench_runs = 5;         // best of this many runs ...
    int bench_min_ms = 100;     // ... of at least this long each
    std::vector<std::string> files;
};

// Throws UsageError for anything it cannot make sense of.  --help anywhere
// asks for help, whatever else the line holds; --version likewise.
Args parse_args(int argc, char **argv);

std::string usage_text();

}  // namespace cmpr_tool

#endif
