#include "bench_cmd.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <span>

#include "cmpr.h"
#include "codecs.h"
#include "errors.h"
#include "file_commands.h"
#include "file_io.h"
#include "sample_data.h"
#include "segment_decode.h"

namespace cmpr_tool {

namespace {

// One row of the table: a codec called the way a host calls it, one buffer in
// and one buffer out.
struct Row {
    const char *name;
    size_t (*room)(size_t n);  // output room the compressor needs for n bytes
    // Returns the compressed size, or 0 when the codec declines the input.
    size_t (*compress)(const uint8_t *in, size_t n, uint8_t *out, size_t room);
    // Output room the decompressor needs for m packed bytes of n original ones.
    uint64_t (*back_room)(size_t m, size_t n);
    // Restores exactly n bytes; false on any failure.
    bool (*decompress)(const uint8_t *packed, size_t m, uint8_t *out, size_t n);
};

uint64_t exact_room(size_t, size_t n) {
    return n;
}

size_t same_room(size_t n) {
    return n;
}

size_t cmpr_zlib_compress(const uint8_t *in, size_t n, uint8_t *out, size_t) {
    uint32_t len = 0;
    return cmprs_data(in, static_cast<uint32_t>(n), &len, out) == 0 ? len : 0;
}

bool cmpr_zlib_decompress(const uint8_t *packed, size_t m, uint8_t *out, size_t n) {
    return decmprs_data(packed, static_cast<uint32_t>(m), static_cast<uint32_t>(n), out) == 0;
}

size_t own_room(size_t n) {
    return static_cast<size_t>(CMPR_GZIP_CMPRS_BOUND(n));
}

size_t own_compress(const uint8_t *in, size_t n, uint8_t *out, size_t) {
    return static_cast<size_t>(gzip_cmprs(in, static_cast<uint32_t>(n), out));
}

// The decoder is told no capacity: it gets the most that m bytes could hold.
uint64_t own_back_room(size_t m, size_t) {
    return CMPR_GZIP_DECMPRS_BOUND(m);
}

bool own_decompress(const uint8_t *packed, size_t m, uint8_t *out, size_t n) {
    return gzip_decmprs(packed, static_cast<uint32_t>(m), out) == n;
}

size_t zlib1_room(size_t n) {
    return compressBound(n);
}

size_t zlib1_compress(const uint8_t *in, size_t n, uint8_t *out, size_t room) {
    uLongf len = room;
    return compress2(out, &len, in, n, 1) == Z_OK ? len : 0;
}

bool zlib1_decompress(const uint8_t *packed, size_t m, uint8_t *out, size_t n) {
    uLongf len = n;
    return uncompress(out, &len, packed, m) == Z_OK && len == n;
}

// The library's codecs first, then the reference.
constexpr Row kRows[] = {
    {"cmpr-own", own_room, own_compress, own_back_room, own_decompress},
    {"cmpr-zlib", same_room, cmpr_zlib_compress, exact_room, cmpr_zlib_decompress},
    {"zlib-1", zlib1_room, zlib1_compress, exact_room, zlib1_decompress},
};

volatile uint32_t g_sink;  // keeps checksums that nobody reads from being dropped

// Seconds per call of 'op': the best over settings.runs runs, each of which
// repeats 'op' until it has taken at least settings.min_ms.
template <class Op>
double best_seconds(const BenchSettings &settings, Op &&op) {
    using Clock = std::chrono::steady_clock;
    const auto min_run = std::chrono::milliseconds(settings.min_ms);
    double best = 1e300;
    for (int r = 0; r < settings.runs; ++r) {
        const auto t0 = Clock::now();
        long calls = 0;
        Clock::duration took;
        do {
            op();
            ++calls;
            took = Clock::now() - t0;
        } while (took < min_run);
        best = std::min(best, std::chrono::duration<double>(took).count() / calls);
    }
    return best;
}

double mb_per_s(size_t bytes, double seconds) {
    return static_cast<double>(bytes) / seconds / 1e6;
}

void bench_input(const std::string &label, std::span<const uint8_t> in,
                 const BenchSettings &settings) {
    const size_t n = in.size();
    std::printf("\n%s: %zu bytes\n", label.c_str(), n);
    if (n == 0) {
        std::printf("  nothing to measure\n");
        return;
    }
    std::printf("  %-10s %12s %7s %15s %17s\n", "codec", "compressed", "ratio", "compress MB/s",
                "decompress MB/s");
    for (const Row &row : kRows) {
        std::vector<uint8_t> packed(row.room(n));
        const size_t m = row.compress(in.data(), n, packed.data(), packed.size());
        if (m == 0) {
            std::printf("  %-10s declined: the input does not shrink (cmpr compress stores it)\n",
                        row.name);
            continue;
        }
        const double c = best_seconds(
            settings, [&] { row.compress(in.data(), n, packed.data(), packed.size()); });
        const Region back(row.back_room(m, n), std::string(row.name) + " output");
        if (!row.decompress(packed.data(), m, back.data(), n) ||
            std::memcmp(back.data(), in.data(), n) != 0)
            throw Failure(label + ": " + row.name + " did not restore its input");
        const double d =
            best_seconds(settings, [&] { row.decompress(packed.data(), m, back.data(), n); });
        std::printf("  %-10s %12zu %7.3f %15.1f %17.1f\n", row.name, m,
                    static_cast<double>(n) / static_cast<double>(m), mb_per_s(n, c),
                    mb_per_s(n, d));
        std::fflush(stdout);
    }

    if (crc32_of(in) != crc32_z(0, in.data(), n))
        throw Failure(label + ": crc_gen disagrees with zlib's crc32");
    const double mine = best_seconds(settings, [&] { g_sink = crc32_of(in); });
    const double ref = best_seconds(settings, [&] { g_sink = crc32_z(0, in.data(), n); });
    std::printf("  checksum: crc_gen %.1f MB/s, zlib crc32 %.1f MB/s\n", mb_per_s(n, mine),
                mb_per_s(n, ref));
}

}  // namespace

int run_bench(const std::vector<std::string> &files, const BenchSettings &settings) {
    std::printf(
        "cmpr bench: best of %d runs of at least %d ms each; MB/s = 10^6 bytes of\n"
        "uncompressed data per second, in both directions; every round trip checked\n",
        settings.runs, settings.min_ms);
    if (files.empty()) {
        const Bytes sample = builtin_sample();
        bench_input("built-in sample (2 MiB daemon log, 1 MiB records, 1 MiB repetitive)", sample,
                    settings);
        return 0;
    }
    return for_each_input(files, [&](const std::string &f) {
        const Region in = read_input(f);
        bench_input(display_name(f), in.bytes(), settings);
        return 0;
    });
}

}  // namespace cmpr_tool
