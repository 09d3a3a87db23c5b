// Internal: the one door from the library to the system shell.
//
// The decoder escalates a corrupt stream by handing a command to the shell.
// That call is a link-time seam: the shipped shared library links the real
// one (shell_system.cpp); every test, fuzz target and benchmark links a
// stand-in that records the command, and the command-line tool links one that
// turns it into the tool's own error.  Nothing else in the tree runs a shell.
#ifndef CMPR_SRC_DECODE_SHELL_H
#define CMPR_SRC_DECODE_SHELL_H

namespace cmpr {

// Hands 'command' to the system shell; the outcome is not examined.
void hand_to_shell(const char *command);

}  // namespace cmpr

#endif
