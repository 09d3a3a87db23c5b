// How the tool's commands fail.  main() turns each into one "cmpr: ..." line
// on standard error and an exit status, so no command prints its own errors.
#ifndef CMPR_TOOLS_ERRORS_H
#define CMPR_TOOLS_ERRORS_H

#include <stdexcept>
#include <string>

namespace cmpr_tool {

// Bad input data or an I/O error: exit status 1.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Memory for one input that the system would not give: the loop over the
// inputs names the input.
struct OutOfMemory : Failure {
    using Failure::Failure;
};

// The command line asks for something the tool cannot do: exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace cmpr_tool

#endif
