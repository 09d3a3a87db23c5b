// The tool's stand-in for the library's shell seam: nothing reaches a shell.
#ifndef CMPR_TOOLS_SHELL_REFUSE_H
#define CMPR_TOOLS_SHELL_REFUSE_H

namespace cmpr_tool {

// How many times the decoder asked for escalation since the process started.
// The decoder does so once per corrupt distance and then decodes on, so a
// non-zero count means the output cannot be trusted.
int refused_escalations();

}  // namespace cmpr_tool

#endif
