// Internal: reading memory that may not be readable.
//
// The failure dumps show a fixed window around a caller's buffer, which can
// reach into unmapped pages or into memory that the address sanitizer guards.
// This is the one place that touches such memory, and it never faults.
#ifndef CMPR_SRC_API_MEM_PROBE_H
#define CMPR_SRC_API_MEM_PROBE_H

#include <cstddef>
#include <cstdint>

namespace cmpr {

// A session of probes.  Copies go through the kernel (a write into a private
// pipe), which answers EFAULT for unreadable memory instead of faulting and is
// invisible to the sanitizers' shadow checks.  If the pipe cannot be made,
// every probe fails and the dump leaves its rows out.
class MemProbe {
   public:
    MemProbe();
    ~MemProbe();
    MemProbe(const MemProbe &) = delete;
    MemProbe &operator=(const MemProbe &) = delete;

    // Copies 'n' (at most 4096) bytes from address 'addr' to 'out'.  Returns
    // false, with 'out' unspecified, when any of them cannot be read.
    bool copy(void *out, std::uintptr_t addr, std::size_t n);

   private:
    int fds_[2];
};

}  // namespace cmpr

#endif
