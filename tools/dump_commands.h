// `cmpr inspect` and `cmpr salvage`: reading a buffer pulled off a unit,
// damaged or not.  What it is (the tool's own file, a bare zlib stream, or a
// buffer of own-codec segments), where its segments lie, what is damaged and
// where, and everything that can be saved.
#ifndef CMPR_TOOLS_DUMP_COMMANDS_H
#define CMPR_TOOLS_DUMP_COMMANDS_H

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace cmpr_tool {

struct InspectOptions {
    bool json = false;
    bool all = false;          // every row, not one screen
    uint64_t record_size = 0;  // 0: from the file's header, or inferred
    int swap = 0;              // 16, 32: read the buffer with its words swapped
    bool verbose = false;      // the library's own reports on damaged segments
};

// Reports on each file (standard input when there are none); the exit
// status: 0 all clean, 1 damage or an error.
int inspect_cmd(const std::vector<std::string> &files, const InspectOptions &opt);

struct SalvageOptions {
    uint64_t record_size = 0;
    bool keep_damaged = false;  // write damaged segments as decoded
    int fill = -1;              // 0-255: write each lost record as this byte instead
    int swap = 0;
    bool verbose = false;  // let the library's reports reach stderr
    bool force = false;    // replace an existing output
};

// Writes what can be saved of 'in' to 'out'; the exit status: 0 when nothing
// was damaged, 1 when anything was left out, kept damaged or filled.
int salvage_cmd(const std::string &in, const std::string &out, const SalvageOptions &opt);

// The same for a buffer in memory ('opt.swap' already done), handing what it
// saves to 'out' piece by piece.  Throws Failure.
using ByteSink = std::function<void(std::span<const uint8_t>)>;
int salvage_data(const std::string &name, std::span<const uint8_t> data, const SalvageOptions &opt,
                 const ByteSink &out);

// inspect of a buffer in memory ('opt.swap' already done).  Throws Failure.
int inspect_data(const std::string &name, std::span<const uint8_t> data, const InspectOptions &opt);

// Decodes each damaged segment of an own-codec buffer on its own, so that
// the library's reports on it (and its banners) reach standard error, each
// introduced as what it is; for -v.
void show_library_reports(std::span<const uint8_t> data);

}  // namespace cmpr_tool

#endif
