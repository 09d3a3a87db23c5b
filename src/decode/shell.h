// Internal: the one door from the library to the system shell.
//
// The decoder escalates a corrupt stream by having the shell reboot the unit.
// That call is a link-time seam, and the command itself lives only in the
// real one (shell_system.cpp), which only the shipped libraries, libcmpr.so
// and libcmpr.a, link.  Everything else links a stand-in that runs nothing:
// the tests and fuzz targets one that records each call, the command-line
// tool, the micro-benchmarks and the costs probe one that counts (the tool
// turns the count into its own error).  The guarded test of the shipped
// library checks the command the shell receives.
#ifndef CMPR_SRC_DECODE_SHELL_H
#define CMPR_SRC_DECODE_SHELL_H

namespace cmpr {

// Hands the unit's reboot command to the system shell; the outcome is not
// examined.
void hand_reboot_to_shell();

}  // namespace cmpr

#endif
