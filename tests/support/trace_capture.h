// Test support: collects the library's reports in memory.
#ifndef CMPR_TESTS_TRACE_CAPTURE_H
#define CMPR_TESTS_TRACE_CAPTURE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cmpr.h"

namespace cmpr_test {

struct Report {
    std::string func;
    int line;
    int level;
    std::string msg;  // fmt with its arguments formatted

    // The line the default trace function would print, without the newline.
    std::string text() const { return func + "-" + std::to_string(line) + ": " + msg; }
};

// Installs a capturing trace function for its lifetime and puts back the one
// that was installed before.  One at a time.
class TraceCapture {
   public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture &) = delete;
    TraceCapture &operator=(const TraceCapture &) = delete;

    const std::vector<Report> &reports() const;
    std::vector<std::string> texts() const;
    void clear();

   private:
    trc_fn_t saved_;
};

// Trace functions that write each report to standard error, where a test can
// see it among the library's own stderr lines: "func-line: message", as the
// default trace function prints it on standard output, or with the level too,
// "func-line-level: message".
int trace_to_stderr(const char *func, int line, int level, const char *fmt, ...);
int trace_to_stderr_with_level(const char *func, int line, int level, const char *fmt, ...);

// Runs 'fn' and returns what it wrote to standard output (flushed).
template <class Fn>
std::string stdout_of(Fn &&fn);

// The lines a dump reports, with the address column cut off: "%08X x5".
std::string dump_words(const Report &row);

// An address as a dump row prints it ("%p").
std::string ptr_text(const void *p);

// Fills 'n' bytes with first, first + 1, ... (mod 256): dump rows then show
// where every byte came from.
void fill_counting(uint8_t *p, size_t n, uint8_t first);

}  // namespace cmpr_test

#include <gtest/gtest.h>

template <class Fn>
std::string cmpr_test::stdout_of(Fn &&fn) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    fn();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

#endif
