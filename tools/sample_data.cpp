#include "sample_data.h"

#include <cstdio>

namespace cmpr_tool {

namespace {

// xorshift64*: small, fast and the same everywhere.  The seeds below, and
// the order of the draws, are fixed: changing them changes every published
// figure.
struct Rng {
    uint64_t s;
    explicit Rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t next() {
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return s * 0x2545F4914F6CDD1Dull;
    }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>((next() >> 32) % n); }
};

void put_le(Bytes &v, uint64_t x, int nbytes) {
    for (int i = 0; i < nbytes; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

}  // namespace

Bytes sample_log_text(size_t n) {
    static const char *const kProcs[] = {"netd", "sensord", "fwupd", "watchdog", "ledctl"};
    static const char *const kEvents[] = {
        "link up on eth0, speed 1000 full duplex", "link down on eth1",
        "temperature %u.%u C within limits",       "fan %u speed %u rpm",
        "retrying upload, attempt %u of %u",       "voltage rail %u at %u mV",
        "crc error on frame %u, dropped",          "heartbeat ok, uptime %u s",
        "config reload requested by pid %u",       "queue depth %u, high water %u",
    };
    Rng r(1);
    Bytes v;
    v.reserve(n + 200);
    unsigned t = 36000;
    while (v.size() < n) {
        t += r.below(3);
        // One draw per statement: the order in which a call's arguments are
        // evaluated differs between compilers and targets.  This is the order
        // the sample has always had on x86-64 with g++ (last argument first).
        char event[96];
        const char *fmt = kEvents[r.below(10)];
        const uint32_t b = r.below(10000), a = r.below(100);
        std::snprintf(event, sizeof event, fmt, a, b);
        const uint32_t pid = 400 + r.below(8);
        const char *proc = kProcs[r.below(5)];
        char line[192];
        int k = std::snprintf(line, sizeof line, "Dec  5 %02u:%02u:%02u unit %s[%u]: %s\n",
                              t / 3600 % 24, t / 60 % 60, t % 60, proc, pid, event);
        v.insert(v.end(), line, line + k);
    }
    v.resize(n);
    return v;
}

Bytes sample_records(size_t n) {
    Rng r(2);
    Bytes v;
    v.reserve(n + 32);
    uint32_t stamp = 1700000000;
    int32_t temp = 4200, volts = 12000;
    for (uint32_t seq = 0; v.size() < n; ++seq) {
        stamp += 1 + r.below(2);
        temp += static_cast<int32_t>(r.below(21)) - 10;
        volts += static_cast<int32_t>(r.below(41)) - 20;
        put_le(v, seq, 4);
        put_le(v, stamp, 4);
        put_le(v, r.below(16), 2);                        // channel
        put_le(v, r.below(8) == 0 ? 0x8001 : 0x0001, 2);  // flags
        put_le(v, static_cast<uint32_t>(temp), 4);
        put_le(v, static_cast<uint32_t>(volts), 4);
        put_le(v, r.below(4) == 0 ? r.below(1000) : 0, 4);  // error counter, mostly 0
        put_le(v, r.next(), 8);                             // a noisy raw reading
    }
    v.resize(n);
    return v;
}

Bytes sample_repetitive(size_t n) {
    Rng r(3);
    Bytes page(512);
    for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(r.below(64) + 32);
    Bytes v;
    v.reserve(n + page.size());
    while (v.size() < n) {
        if (r.below(8) == 0) {  // an erased flash block
            v.insert(v.end(), 4096, 0xFF);
            continue;
        }
        // The same status page with a counter and a few fields changed.
        size_t at = v.size();
        v.insert(v.end(), page.begin(), page.end());
        uint32_t count = static_cast<uint32_t>(at / page.size());
        for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(count >> (8 * i));
        for (int k = 0; k < 3; ++k) v[at + 8 + r.below(500)] = static_cast<uint8_t>(r.next());
    }
    v.resize(n);
    return v;
}

Bytes builtin_sample() {
    Bytes v = sample_log_text(2 << 20);
    Bytes rec = sample_records(1 << 20);
    Bytes rep = sample_repetitive(1 << 20);
    v.insert(v.end(), rec.begin(), rec.end());
    v.insert(v.end(), rep.begin(), rep.end());
    return v;
}

}  // namespace cmpr_tool
