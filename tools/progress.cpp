#include "progress.h"

#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>

namespace cmpr_tool {

namespace {

constexpr int64_t kQuietNs = 1'000'000'000;  // work shorter than this shows nothing
constexpr auto kTick = std::chrono::milliseconds(200);
constexpr size_t kWidth = 79;  // the line never wraps on an 80-column terminal

std::mutex g_line;     // the progress line and the notes that share the terminal
bool g_shown = false;  // a progress line is on the terminal

int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void clear_line() {
    if (g_shown) std::fputs("\r\033[K", stderr);
    g_shown = false;
}

}  // namespace

Progress::Progress(const std::string &name, bool quiet) : name_(name) {
    if (quiet || isatty(STDERR_FILENO) != 1) return;
    start_ns_ = now_ns();
    phase_start_ns_ = start_ns_;
    // The ticker takes no signals: an interrupt reaches the main thread,
    // which holds it off while its output file changes hands.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    ticker_ = std::jthread([this](std::stop_token stop) { run(stop); });
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

Progress::~Progress() {
    if (!ticker_.joinable()) return;
    ticker_.request_stop();
    ticker_.join();
    std::lock_guard lock(g_line);
    clear_line();
}

void Progress::phase(const char *what, uint64_t total) {
    done_ = 0;
    total_ = total;
    phase_start_ns_ = now_ns();
    what_ = what;
}

void Progress::run(std::stop_token stop) {
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock wait_lock(m);
    for (;;) {
        cv.wait_for(wait_lock, stop, kTick, [&] { return stop.stop_requested(); });
        if (stop.stop_requested()) return;
        const int64_t now = now_ns();
        if (now - start_ns_ < kQuietNs) continue;
        const double secs = static_cast<double>(now - phase_start_ns_) / 1e9;
        const double done = static_cast<double>(done_.load()) / 1e6,
                     total = static_cast<double>(total_.load()) / 1e6;
        char facts[64];
        if (total > 0)
            std::snprintf(facts, sizeof facts, " %.1f of %.1f MB, %.0f MB/s", done, total,
                          secs > 0.1 ? done / secs : 0.0);
        else if (done > 0)
            std::snprintf(facts, sizeof facts, " %.1f MB, %.0f MB/s", done,
                          secs > 0.1 ? done / secs : 0.0);
        else
            std::snprintf(facts, sizeof facts, ", %.1f s", secs);
        const std::string tail = std::string(": ") + what_.load() + facts;
        std::string name = name_;
        if (name.size() + tail.size() > kWidth) {  // keep the end of a long name
            const size_t keep = kWidth > tail.size() + 3 ? kWidth - tail.size() - 3 : 0;
            name = "..." + name.substr(name.size() - std::min(keep, name.size()));
        }
        std::lock_guard lock(g_line);
        std::fprintf(stderr, "\r%s%s\033[K", name.c_str(), tail.c_str());
        g_shown = true;
    }
}

void note(const std::string &message) {
    std::lock_guard lock(g_line);
    clear_line();
    std::fprintf(stderr, "cmpr: %s\n", message.c_str());
}

}  // namespace cmpr_tool
