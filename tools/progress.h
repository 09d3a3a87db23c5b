// A progress line on standard error for work on one file that lasts more
// than a second: the phase, bytes done of the total and the rate, or for one
// long library call, the phase and the time it has taken so far.
//
// Shown only when standard error is a terminal and the user did not ask for
// quiet; a ticker thread redraws it a few times a second from counters the
// work updates, so a library call that runs for a while needs no hook.
#ifndef CMPR_TOOLS_PROGRESS_H
#define CMPR_TOOLS_PROGRESS_H

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace cmpr_tool {

class Progress {
   public:
    // Shows the progress of the work on 'name' unless 'quiet' or standard
    // error is no terminal.
    Progress(const std::string &name, bool quiet);
    ~Progress();  // clears the line
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // A new phase ("reading", "compressing", ...) of 'total' bytes; 0: the
    // bytes are not counted, the time is shown instead.
    void phase(const char *what, uint64_t total = 0);
    void add(uint64_t bytes) { done_.fetch_add(bytes, std::memory_order_relaxed); }
    // Bytes done of a total learnt on the way (0: not known).
    void update(uint64_t done, uint64_t total) {
        done_ = done;
        total_ = total;
    }

   private:
    void run(std::stop_token stop);

    std::string name_;
    std::atomic<const char *> what_{""};
    std::atomic<uint64_t> done_{0}, total_{0};
    std::atomic<int64_t> phase_start_ns_{0};
    int64_t start_ns_ = 0;
    std::jthread ticker_;
};

// Writes "cmpr: MESSAGE" and a newline on standard error, clearing a
// progress line first: every note the tool makes while a progress may show
// goes through here.
void note(const std::string &message);

}  // namespace cmpr_tool

#endif
