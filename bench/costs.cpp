// What the own codec costs a host, call by call, on the target it runs on:
// the library's own malloc() calls, the deepest stack a call reaches, its
// reports and the bytes it writes to standard error, and how often a
// damaged buffer escalates.  The figures of the Costs section of cmpr.h
// come from this program built for armhf and run under qemu-arm:
//
//   cmake --preset cross-armhf && cmake --build --preset cross-armhf
//   ctest --preset cross-armhf -R cmpr_costs -V
//
// It links the library's objects with a stand-in for the shell seam of its
// own, which counts escalations and runs nothing: the stack of an escalation
// is measured up to the shell call, without what the C library's system()
// takes below it.
// It checks what cmpr.h promises (one malloc of 8 KiB per compression, none
// per decompression, one escalation and ten reports per corrupt distance)
// and exits with 1 when a promise does not hold.
#include <alloca.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "cmpr.h"
#include "decode/shell.h"

namespace {

using Bytes = std::vector<uint8_t>;

int g_mallocs = 0;  // the library's own calls since the last reset
size_t g_malloc_bytes = 0;
int g_frees = 0;
int g_escalations = 0;
int g_reports[7] = {};  // by level

int count_report(const char *, int, int level, const char *, ...) {
    if (level >= 0 && level < 7) ++g_reports[level];
    return 0;
}

// Paints the stack below the caller's frame and returns the lowest painted
// address: a call made next overwrites the paint as deep as it reaches.
constexpr size_t kPainted = 64 * 1024;
constexpr uint8_t kPaint = 0xA5;

__attribute__((noinline)) uintptr_t paint() {
    auto *p = static_cast<volatile uint8_t *>(alloca(kPainted));
    for (size_t i = 0; i < kPainted; ++i) p[i] = kPaint;
    return reinterpret_cast<uintptr_t>(p);
}

// The stack that 'call' takes below this function's frame, in bytes.
__attribute__((noinline)) size_t stack_of(const std::function<void()> &call) {
    volatile uint8_t top = 0;
    const uintptr_t low = paint();
    call();
    const auto *p = reinterpret_cast<const volatile uint8_t *>(low);
    size_t i = 0;
    while (i < kPainted && p[i] == kPaint) ++i;
    return reinterpret_cast<uintptr_t>(&top) - (low + i);
}

// What one call did, with standard output and error sent elsewhere.
struct Cost {
    size_t stack = 0;
    int mallocs = 0, frees = 0, escalations = 0, reports3 = 0, reports6 = 0;
    size_t malloc_bytes = 0;
    long stderr_bytes = 0;
};

Cost measure(const std::function<void()> &call, bool default_trace) {
    std::fflush(stdout);
    std::fflush(stderr);
    const int out = dup(1), err = dup(2);
    FILE *errors = std::tmpfile();
    const int null = open("/dev/null", O_WRONLY);
    if (out < 0 || err < 0 || errors == nullptr || null < 0) std::abort();
    dup2(null, 1);
    dup2(fileno(errors), 2);
    cmpr_api_init(default_trace ? nullptr : count_report);
    g_mallocs = g_frees = g_escalations = 0;
    g_malloc_bytes = 0;
    for (int &n : g_reports) n = 0;
    Cost c;
    c.stack = stack_of(call);
    std::fflush(stdout);
    std::fflush(stderr);
    c.stderr_bytes = lseek(2, 0, SEEK_END);
    dup2(out, 1);
    dup2(err, 2);
    close(out), close(err), close(null);
    std::fclose(errors);
    c.mallocs = g_mallocs, c.malloc_bytes = g_malloc_bytes, c.frees = g_frees;
    c.escalations = g_escalations, c.reports3 = g_reports[3], c.reports6 = g_reports[6];
    return c;
}

// 'n' corrupt distances back to back in one segment, written with the
// library's building blocks: a match of 3 at distance 8193, 24 bits each.
Bytes corrupt_distances(uint32_t n) {
    Bytes out(3 * n + 8, 0);
    uint32_t pending = 0, pos = 0, xval, xbits;
    uint8_t none[1];
    gzip_cmprs(none, 0, none);  // resets the bit accumulator
    auto put = [&](uint32_t v, uint32_t bits, int rev) {
        put_bits(v, static_cast<int32_t>(bits), rev, &pending, out.data(), &pos);
    };
    auto symbol = [&](uint32_t s) {
        code_entry c;
        huffman(s, &c);
        put(static_cast<uint32_t>(c.code), static_cast<uint32_t>(c.len), 1);
    };
    for (uint32_t i = 0; i < n; ++i) {
        symbol(encode_length(3, &xval, &xbits));
        put(encode_distance(8193, &xval, &xbits), 5, 1);
        put(xval, xbits, 0);
    }
    symbol(256);
    put(0, 7, 0);
    out.resize(pos);
    return out;
}

Bytes log_record(size_t n) {
    static const char kLine[] = "Mar 14 02:17:44 unit7 daemon[812]: sensor 3 reading 0412 ok\n";
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(kLine[i % (sizeof kLine - 1)] ^ (i / 997));
    return b;
}

Bytes random_bytes(size_t n) {
    Bytes b(n);
    uint32_t x = 2463534242u;
    for (auto &v : b) x ^= x << 13, x ^= x >> 17, x ^= x << 5, v = static_cast<uint8_t>(x);
    return b;
}

int g_failed = 0;

void expect(bool ok, const char *what) {
    if (!ok) std::printf("FAILED: %s\n", what), g_failed = 1;
}

void print(const char *what, const Cost &c) {
    std::printf(
        "%-46s stack %5zu  malloc %d (%zu bytes, %d freed)  reports %d+%d  stderr %ld  "
        "escalations %d\n",
        what, c.stack, c.mallocs, c.malloc_bytes, c.frees, c.reports3, c.reports6, c.stderr_bytes,
        c.escalations);
}

}  // namespace

extern "C" void *__real_malloc(size_t);
extern "C" void __real_free(void *);
extern "C" void *__wrap_malloc(size_t n) {
    ++g_mallocs, g_malloc_bytes += n;
    return __real_malloc(n);
}
extern "C" void __wrap_free(void *p) {
    g_frees += p != nullptr;
    __real_free(p);
}

void cmpr::hand_reboot_to_shell() {
    ++g_escalations;
}

int main() {
    std::printf(
        "cmpr costs, %zu-bit pointers (stack: bytes below the caller; reports: level "
        "3 + level 6, counted with a host function; stderr: bytes)\n",
        8 * sizeof(void *));
    const Bytes record = log_record(4096), noise = random_bytes(4096);
    const Bytes segment = [&] {
        Bytes out(CMPR_GZIP_CMPRS_BOUND(record.size()));
        out.resize(static_cast<size_t>(gzip_cmprs(record.data(), 4096, out.data())));
        return out;
    }();
    const Bytes one_corrupt = corrupt_distances(1), all_corrupt = corrupt_distances(1365);
    Bytes packed(CMPR_GZIP_CMPRS_BOUND(noise.size()));
    Bytes back(CMPR_GZIP_DECMPRS_BOUND(all_corrupt.size()));
    auto compress = [&](const Bytes &in) {
        return [&] { gzip_cmprs(in.data(), static_cast<uint32_t>(in.size()), packed.data()); };
    };
    auto decompress = [&](const Bytes &in) {
        return [&] { gzip_decmprs(in.data(), static_cast<uint32_t>(in.size()), back.data()); };
    };

    for (bool dflt : {false, true}) {
        std::printf("-- trace: %s\n", dflt ? "the default function (stdout)" : "a host function");
        Cost c = measure(compress(record), dflt);
        print("gzip_cmprs, 4096-byte log record", c);
        expect(c.mallocs == 1 && c.malloc_bytes == 8192 && c.frees == 1, "one 8 KiB window");
        print("gzip_cmprs, 4096 random bytes", measure(compress(noise), dflt));
        c = measure(decompress(segment), dflt);
        print("gzip_decmprs, that record's segment", c);
        expect(c.mallocs == 0 && (dflt || c.reports6 == 1), "no heap, one segment end");
        c = measure(decompress(one_corrupt), dflt);
        print("gzip_decmprs, one corrupt distance", c);
        expect(c.mallocs == 0 && c.escalations == 1, "one escalation, no heap");
        expect(dflt || c.reports3 == 10, "ten reports per corrupt distance");
    }
    std::printf("-- escalations\n");
    Cost c = measure(decompress(noise), false);
    print("gzip_decmprs, 4096 random bytes", c);
    expect(c.escalations * 10 == c.reports3 && c.mallocs == 0, "ten reports per escalation");
    c = measure(decompress(all_corrupt), false);
    std::printf("(%zu bytes:) ", all_corrupt.size());
    print("1365 corrupt distances back to back", c);
    expect(c.escalations == 1365, "one escalation per corrupt distance");
    return g_failed;
}
