// Shared by the fuzz targets: a quiet trace function that tallies the
// library's reports, and a check that stops the run with a message libFuzzer
// shows even when the target's own standard error is closed.
#ifndef CMPR_FUZZ_SUPPORT_H
#define CMPR_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>

namespace cmpr_fuzz {

// What the reports of one run came to.  The hash covers every report in
// order (function, line, level and the formatted message), so two runs that
// should report alike can be compared in one go.
struct Tally {
    uint64_t reports = 0;
    uint64_t hash = 0;
    uint32_t segment_ends = 0;       // decode_block line 573
    uint32_t corrupt_distances = 0;  // decode_block line 724
    uint32_t reboot_notices = 0;     // decode_block line 726
    uint32_t zlib_failures = 0;      // cmprs_data / decmprs_data
};

// Installs the tallying trace function, which formats each message (so that
// a bad format or argument shows) but prints nothing, and silences the
// library's own output.
void install_quiet_trace();

// Clears the tally and the recorded shell commands.
void reset_tally();
const Tally &tally();

// The shell commands recorded since the last reset_tally(); each must be
// "reboot -f".  Returns the count, or stops the run on any other command.
size_t reboot_commands();

// Stops the run as a finding: the message goes to the sanitizer's report
// stream, which stays open, then the process aborts.
[[noreturn]] void fail(const char *file, int line, const char *what);

// Discards what the library prints on standard output and standard error
// (the decoder's failure lines and banners, the tree printouts), which would
// otherwise flood the log and slow every run down.
void silence_library_output();

}  // namespace cmpr_fuzz

#define FUZZ_CHECK(cond) \
    ((cond) ? (void)0 : cmpr_fuzz::fail(__FILE__, __LINE__, "check failed: " #cond))

#endif
