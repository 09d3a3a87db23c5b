// The library's decoder escalates a corrupt distance by having the shell
// reboot the machine.  In a host tool that would reboot the user's own
// machine, so the tool links this stand-in instead: it only counts, and the
// command that reads the data turns the count into an error once decoding
// is done.  The decoder has already explained each case on standard error.
#include "shell_refuse.h"

#include "decode/shell.h"

namespace {
int g_escalations = 0;  // the tool decodes on one thread
}

int cmpr_tool::refused_escalations() {
    return g_escalations;
}

void cmpr::hand_reboot_to_shell() {
    ++g_escalations;
}
