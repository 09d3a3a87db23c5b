#include "test_data.h"

#include <cstdio>
#include <cstring>

namespace cmpr_test {
namespace {

struct Rng {
    uint64_t s;
    explicit Rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t next() {  // xorshift64*
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return s * 0x2545F4914F6CDD1Dull;
    }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
};

}  // namespace

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
    v.reserve(n + 128);
    unsigned t = 1000;
    while (v.size() < n) {
        char line[160];
        t += r.below(50);
        // One draw per statement: the order in which a call's arguments are
        // evaluated differs between compilers and targets.  This is the order
        // the data has always had on x86-64 with g++ (last argument first).
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
    Bytes unit = random_bytes(period, seed);
    Bytes v(n);
    for (size_t i = 0; i < n; ++i) v[i] = unit[i % period];
    return v;
}

Bytes binary_records(size_t n, uint64_t seed) {
    Rng r(seed);
    Bytes v;
    v.reserve(n + 32);
    uint32_t id = 0;
    while (v.size() < n) {
        uint8_t rec[24] = {};
        uint32_t fields[4] = {id++, r.below(16), 0x40490FDBu + r.below(64),
                              r.below(3) ? 0u : r.below(1000)};
        for (int f = 0; f < 4; ++f)
            for (int b = 0; b < 4; ++b) rec[f * 4 + b] = static_cast<uint8_t>(fields[f] >> (8 * b));
        v.insert(v.end(), rec, rec + sizeof rec);
    }
    v.resize(n);
    return v;
}

std::vector<Sample> compressible_samples() {
    return {
        {"text-20k", log_text(20000, 1)},
        {"run-5000", Bytes(5000, 'z')},
        {"period-7", periodic(9000, 7, 2)},
        {"records-30k", binary_records(30000, 3)},
    };
}

std::vector<Sample> varied_samples() {
    std::vector<Sample> s = {
        {"empty", {}},
        {"one", {'A'}},
        {"one-ff", {0xFF}},
        {"two", {'a', 'b'}},
        {"three", {'a', 'a', 'a'}},
        {"abcd", {'a', 'b', 'c', 'd'}},
        {"abcabcabc", {'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c'}},
        {"zeros-100k", Bytes(100000, 0)},
        {"ff-70k", Bytes(70000, 0xFF)},
        {"period-8189", periodic(40000, 8189, 4)},
        {"period-8190", periodic(40000, 8190, 5)},
        {"period-8192", periodic(40000, 8192, 6)},
        {"period-8193", periodic(40000, 8193, 7)},
        {"period-3", periodic(1000, 3, 8)},
        {"text-1M", log_text(1 << 20, 9)},
        {"records-200k", binary_records(200000, 10)},
        {"random-64k", random_bytes(65536, 11)},
        {"random-3M", random_bytes(3 << 20, 12)},
    };
    // Mixed: text, then runs, then random, then a repeat of the text.
    Bytes mixed = log_text(30000, 13);
    mixed.insert(mixed.end(), 3000, 'r');
    Bytes noise = random_bytes(10000, 14);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    mixed.insert(mixed.end(), mixed.begin(), mixed.begin() + 30000);
    s.push_back({"mixed", mixed});
    // Two bytes values whose 144-255 literals cost 9 bits each.
    Bytes high(5000);
    for (size_t i = 0; i < high.size(); ++i)
        high[i] = static_cast<uint8_t>(0x90 + (i * 7919) % 112);
    s.push_back({"high-literals", high});
    return s;
}

}  // namespace cmpr_test
