// Sample data and hand-made streams.
#include <cstdio>

#include "support.h"

namespace cmpr_test {
namespace {

struct Rng {  // xorshift64*
    uint64_t s;
    explicit Rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t next() {
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return s * 0x2545F4914F6CDD1Dull;
    }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
};

}  // namespace

const Bytes kCorruptDistance = {0xc0, 0x15, 0x00, 0x55, 0x00};

Bytes random_bytes(size_t n, uint64_t seed) {
    Rng r(seed);
    Bytes v(n);
    for (auto &b : v) b = static_cast<uint8_t>(r.next() >> 56);
    return v;
}

Bytes log_text(size_t n, uint64_t seed) {
    static const char *const kWords[] = {"link",    "up",      "down",   "port", "eth0",
                                         "timeout", "retry",   "sensor", "temp", "ok",
                                         "fan",     "voltage", "warn",   "crc"};
    Rng r(seed);
    Bytes v;
    for (unsigned t = 1000; v.size() < n;) {
        char line[160];
        t += r.below(50);
        // One draw per statement: argument evaluation order differs between
        // compilers, and the data must not.
        const uint32_t value = r.below(100000);
        const char *w3 = kWords[r.below(14)], *w2 = kWords[r.below(14)], *w1 = kWords[r.below(14)];
        const uint32_t unit = 100 + r.below(4);
        int k = std::snprintf(line, sizeof line, "Dec  5 12:%02u:%02u unit[%u]: %s %s %s=%u\n",
                              (t / 60) % 60, t % 60, unit, w1, w2, w3, value);
        v.insert(v.end(), line, line + k);
    }
    v.resize(n);
    return v;
}

Bytes periodic(size_t n, size_t period, uint64_t seed) {
    Bytes unit = random_bytes(period, seed), v(n);
    for (size_t i = 0; i < n; ++i) v[i] = unit[i % period];
    return v;
}

Bytes binary_records(size_t n, uint64_t seed) {
    Rng r(seed);
    Bytes v;
    for (uint32_t id = 0; v.size() < n;) {
        uint32_t f[4] = {id++, r.below(16), 0x40490FDBu + r.below(64),
                         r.below(3) ? 0u : r.below(1000)};
        for (int i = 0; i < 24; ++i)
            v.push_back(i < 16 ? static_cast<uint8_t>(f[i / 4] >> (8 * (i % 4))) : 0);
    }
    v.resize(n);
    return v;
}

std::vector<std::pair<std::string, Bytes>> varied_samples() {
    std::vector<std::pair<std::string, Bytes>> s = {
        {"zeros-100k", Bytes(100000, 0)},         {"period-3", periodic(1000, 3, 8)},
        {"text-1M", log_text(1 << 20, 9)},        {"records-200k", binary_records(200000, 10)},
        {"random-3M", random_bytes(3 << 20, 12)},
    };
    for (size_t p : {8189, 8190, 8192, 8193})  // around the window size
        s.push_back({"period-" + std::to_string(p), periodic(40000, p, p - 8185 - (p > 8190))});
    return s;
}

}  // namespace cmpr_test
