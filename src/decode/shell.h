// Internal: the one door from the library to the system shell.
//
// The decoder escalates a corrupt stream by handing a command to the shell.
// That call is a link-time seam: the shipped libraries, libcmpr.so and
// libcmpr.a, link the real one (shell_system.cpp).  Everything else links a
// stand-in: the tests and fuzz targets one that records the command, the
// command-line tool and the micro-benchmarks one that counts (the tool turns
// the count into its own error), and the costs probe one that counts and, to
// measure the stack of system(), runs "true".  No build of the tree hands
// "reboot -f" to a shell but the shipped libraries.
#ifndef CMPR_SRC_DECODE_SHELL_H
#define CMPR_SRC_DECODE_SHELL_H

namespace cmpr {

// Hands 'command' to the system shell; the outcome is not examined.
void hand_to_shell(const char *command);

}  // namespace cmpr

#endif
