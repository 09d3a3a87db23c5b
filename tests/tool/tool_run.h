// Running the cmpr tool as a child process, the way a user runs it, on
// files in a scratch directory of this process's own.
#ifndef CMPR_TESTS_TOOL_TOOL_RUN_H
#define CMPR_TESTS_TOOL_TOOL_RUN_H

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/support.h"

namespace tool_test {

using cmpr_test::Bytes;
using Args = std::vector<std::string>;

// The path of 'name' in the scratch directory.
std::string path(const std::string &name);

template <class T = std::string>
T slurp(const std::string &name) {
    return T(std::istreambuf_iterator<char>(std::ifstream(path(name)).rdbuf()), {});
}

// Writes 'data' to 'name'; returns its path.
std::string put(const std::string &name, const Bytes &data);

// How a child runs: under a shell's ulimit ("-v KIB", "-f BLOCKS"), with
// standard input from a descriptor, standard output on a descriptor of ours.
struct How {
    std::string ulimit = {};
    int in_fd = -1;
    int out_fd = -1;  // else the file "out"
};

// Starts the tool on 'args'; its standard output and error go to the files
// "out" and "err", so that no pipe can fill up.
pid_t spawn(Args args, const How &how = {});

// Runs the tool on 'args' then 'opts' and returns its exit status, -1 when it
// could not start or a signal ended it.
int run(Args args, const Args &opts = {}, const How &how = {});

// A failure says so in exactly one line.
bool one_line(const std::string &err);

// zlib's level-1 stream of 'data', as the library's wrapper writes it.
Bytes zlib_stream(const Bytes &data);

// A cmpr file of method 0 (stored) or 1 (zlib) holding 'text', as earlier
// versions wrote it, and 'after' it.
Bytes cmpz_file(uint8_t method, const Bytes &text, const Bytes &after = {});

// The one line of standard error, without its "cmpr: ".
std::string said();

// Whether an address-space limit can apply to the tool at all: a sanitizer
// reserves its shadow memory beyond any, and an emulator (qemu running a
// 32-bit tool through binfmt_misc) its guest's whole address space.
bool limits_apply();

}  // namespace tool_test

#endif
