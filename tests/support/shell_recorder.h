// Test support: the stand-in for the library's shell seam.  Test binaries
// link it instead of the real one, so no command ever reaches a shell; the
// commands are recorded in order.
#ifndef CMPR_TESTS_SHELL_RECORDER_H
#define CMPR_TESTS_SHELL_RECORDER_H

#include <cstdio>
#include <string>
#include <vector>

namespace cmpr_test {

// Every command handed over since the last clear.
std::vector<std::string> &shell_commands();

// When set, each command is also written to this stream as "[shell] CMD\n",
// so a test can see where it falls among the library's stderr lines.
void echo_shell_to(FILE *stream);

}  // namespace cmpr_test

#endif
