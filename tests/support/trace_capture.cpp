#include "trace_capture.h"

#include <cstdarg>
#include <cstdio>

namespace cmpr_test {
namespace {

std::vector<Report> g_reports;

int capture(const char *func, int line, int level, const char *fmt, ...) {
    va_list ap, ap2;
    va_start(ap, fmt);
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string msg(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    std::vsnprintf(msg.data(), msg.size() + 1, fmt, ap2);
    va_end(ap2);
    g_reports.push_back({func, line, level, msg});
    return 0;
}

void vprint_to_stderr(const char *func, int line, const int *level, const char *fmt, va_list ap) {
    if (level != nullptr)
        std::fprintf(stderr, "%s-%d-%d: ", func, line, *level);
    else
        std::fprintf(stderr, "%s-%d: ", func, line);
    std::vfprintf(stderr, fmt, ap);
    std::fputc('\n', stderr);
}

}  // namespace

int trace_to_stderr(const char *func, int line, int, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vprint_to_stderr(func, line, nullptr, fmt, ap);
    va_end(ap);
    return 0;
}

int trace_to_stderr_with_level(const char *func, int line, int level, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vprint_to_stderr(func, line, &level, fmt, ap);
    va_end(ap);
    return 0;
}

TraceCapture::TraceCapture() : saved_(cmpr_trc_fn) {
    g_reports.clear();
    cmpr_api_init(capture);
}

TraceCapture::~TraceCapture() {
    cmpr_trc_fn = saved_;
}

const std::vector<Report> &TraceCapture::reports() const {
    return g_reports;
}

std::vector<std::string> TraceCapture::texts() const {
    std::vector<std::string> out;
    for (const Report &r : g_reports) out.push_back(r.text());
    return out;
}

void TraceCapture::clear() {
    g_reports.clear();
}

std::string dump_words(const Report &row) {
    std::string::size_type colon = row.msg.find(": ");
    return colon == std::string::npos ? row.msg : row.msg.substr(colon + 2);
}

std::string ptr_text(const void *p) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%p", p);
    return buf;
}

void fill_counting(uint8_t *p, size_t n, uint8_t first) {
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(first + i);
}

}  // namespace cmpr_test
