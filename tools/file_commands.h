// compress, decompress, test and list: each input on its own, as gzip and
// zstd users expect (NAME to NAME.cz beside it and back, existing outputs
// refused, a failed input reported and the others still done).
#ifndef CMPR_TOOLS_FILE_COMMANDS_H
#define CMPR_TOOLS_FILE_COMMANDS_H

#include <functional>
#include <string>
#include <vector>

#include "cli_args.h"

namespace cmpr_tool {

// Runs 'one' on each of 'files' (standard input when there are none), in
// order.  An input that fails (Failure, or memory that cannot be had) is
// reported in one line naming it on standard error, and the others are
// still done.  Returns the results ORed together, 1 for a
// failed input.
int for_each_input(const std::vector<std::string> &files,
                   const std::function<int(const std::string &)> &one);

// Runs a.command on a.files; the exit status: 0 all done, 1 an input failed.
int file_command(const Args &a);

}  // namespace cmpr_tool

#endif
