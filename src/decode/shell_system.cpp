// The real shell seam.  Only the shipped libraries, libcmpr.so and libcmpr.a,
// link this file.
#include <cstdlib>

#include "shell.h"

void cmpr::hand_reboot_to_shell() {
    // The result is consumed only so that fortified builds, which mark
    // system() warn_unused_result, accept the call; the outcome is not
    // examined.
    if (std::system("reboot -f") == -1) {
    }
}
