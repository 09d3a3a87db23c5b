// Micro-benchmarks of libcmpr beside zlib, on the built-in sample of
// `cmpr bench` (argument 0) and on each of its three parts alone (1 to 3).
// Throughput counts uncompressed bytes in both directions.
//
//   build/release/bench/cmpr_bench [--benchmark_filter=REGEX]
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>

#include <vector>

#include "api/crc32_engines.h"
#include "cmpr.h"
#include "file_io.h"
#include "sample_data.h"
#include "shell_refuse.h"

namespace {

using cmpr_tool::Bytes;

const char *const kInputNames[] = {"sample", "log", "records", "repetitive"};

const Bytes &input(benchmark::State &st) {
    static const Bytes kInputs[] = {
        cmpr_tool::builtin_sample(),
        cmpr_tool::sample_log_text(2 << 20),
        cmpr_tool::sample_records(1 << 20),
        cmpr_tool::sample_repetitive(1 << 20),
    };
    st.SetLabel(kInputNames[st.range(0)]);
    return kInputs[st.range(0)];
}

void count_bytes(benchmark::State &st, const Bytes &in) {
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(in.size()));
}

void check_restored(benchmark::State &st, const Bytes &in, const Bytes &back) {
    if (back != in) st.SkipWithError("the round trip did not restore the input");
}

// ---- CRC-32 ------------------------------------------------------------------

void BM_crc_gen(benchmark::State &st) {
    const Bytes &in = input(st);
    for (auto _ : st) benchmark::DoNotOptimize(crc_gen(in.data(), static_cast<int32_t>(in.size())));
    count_bytes(st, in);
}

void BM_zlib_crc32(benchmark::State &st) {
    const Bytes &in = input(st);
    for (auto _ : st) benchmark::DoNotOptimize(crc32_z(0, in.data(), in.size()));
    count_bytes(st, in);
}

// ---- zlib wrappers ---------------------------------------------------------------

// cmprs_data() into exactly the input's size, as the wrapper requires.
bool cmpr_zlib_pack(const Bytes &in, Bytes &out) {
    out.resize(in.size());
    uint32_t len = 0;
    if (cmprs_data(in.data(), static_cast<uint32_t>(in.size()), &len, out.data()) != 0)
        return false;
    out.resize(len);
    return true;
}

void BM_cmprs_data(benchmark::State &st) {
    const Bytes &in = input(st);
    Bytes out;
    for (auto _ : st) {
        if (!cmpr_zlib_pack(in, out)) {
            st.SkipWithError("cmprs_data declined the input");
            break;
        }
    }
    st.counters["ratio"] = static_cast<double>(in.size()) / static_cast<double>(out.size());
    count_bytes(st, in);
}

void BM_decmprs_data(benchmark::State &st) {
    const Bytes &in = input(st);
    Bytes packed, back(in.size());
    if (!cmpr_zlib_pack(in, packed)) {
        st.SkipWithError("cmprs_data declined the input");
        return;
    }
    for (auto _ : st) {
        if (decmprs_data(packed.data(), static_cast<uint32_t>(packed.size()),
                         static_cast<uint32_t>(back.size()), back.data()) != 0) {
            st.SkipWithError("decmprs_data failed");
            break;
        }
    }
    check_restored(st, in, back);
    count_bytes(st, in);
}

// ---- zlib level 1, called directly: the reference --------------------------------

void BM_compress2_level1(benchmark::State &st) {
    const Bytes &in = input(st);
    Bytes out(compressBound(in.size()));
    uLongf len = 0;
    for (auto _ : st) {
        len = out.size();
        if (compress2(out.data(), &len, in.data(), in.size(), 1) != Z_OK) {
            st.SkipWithError("compress2 failed");
            break;
        }
    }
    st.counters["ratio"] = static_cast<double>(in.size()) / static_cast<double>(len);
    count_bytes(st, in);
}

void BM_uncompress(benchmark::State &st) {
    const Bytes &in = input(st);
    Bytes packed(compressBound(in.size())), back(in.size());
    uLongf len = packed.size();
    if (compress2(packed.data(), &len, in.data(), in.size(), 1) != Z_OK) {
        st.SkipWithError("compress2 failed");
        return;
    }
    for (auto _ : st) {
        uLongf out_len = back.size();
        if (uncompress(back.data(), &out_len, packed.data(), len) != Z_OK) {
            st.SkipWithError("uncompress failed");
            break;
        }
    }
    check_restored(st, in, back);
    count_bytes(st, in);
}

// ---- The own codec -------------------------------------------------------------------

Bytes own_pack(const Bytes &in) {
    Bytes out(CMPR_GZIP_CMPRS_BOUND(in.size()));
    out.resize(
        static_cast<size_t>(gzip_cmprs(in.data(), static_cast<uint32_t>(in.size()), out.data())));
    return out;
}

void BM_gzip_cmprs(benchmark::State &st) {
    const Bytes &in = input(st);
    Bytes out(CMPR_GZIP_CMPRS_BOUND(in.size()));
    int32_t len = 0;
    for (auto _ : st) len = gzip_cmprs(in.data(), static_cast<uint32_t>(in.size()), out.data());
    st.counters["ratio"] = static_cast<double>(in.size()) / len;
    count_bytes(st, in);
}

// The decoder is told no capacity: it gets the most its input could stand
// for, as reserved address space, and must finish without escalations.
void BM_gzip_decmprs(benchmark::State &st) {
    const Bytes &in = input(st);
    const Bytes packed = own_pack(in);
    const cmpr_tool::Region back(CMPR_GZIP_DECMPRS_BOUND(packed.size()), "benchmark output");
    uint32_t n = 0;
    for (auto _ : st)
        n = gzip_decmprs(packed.data(), static_cast<uint32_t>(packed.size()), back.data());
    if (n != in.size() || std::memcmp(back.data(), in.data(), n) != 0 ||
        cmpr_tool::refused_escalations() != 0)
        st.SkipWithError("the round trip did not restore the input");
    count_bytes(st, in);
}

// Record-sized calls, as the host makes them: the first 4 MiB of the sample
// cut into records of the given size, one call each.
template <class Call>
void per_record(benchmark::State &st, Call &&call) {
    const Bytes &in = cmpr_tool::builtin_sample();
    const size_t record = static_cast<size_t>(st.range(0));
    for (auto _ : st)
        for (size_t pos = 0; pos + record <= in.size(); pos += record)
            call(in.data() + pos, record);
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) *
                         static_cast<int64_t>(in.size() / record * record));
}

void BM_gzip_cmprs_records(benchmark::State &st) {
    Bytes out(CMPR_GZIP_CMPRS_BOUND(static_cast<size_t>(st.range(0))));
    per_record(st, [&](const uint8_t *p, size_t n) {
        gzip_cmprs(p, static_cast<uint32_t>(n), out.data());
    });
}

void BM_compress2_level1_records(benchmark::State &st) {
    Bytes out(compressBound(static_cast<uLong>(st.range(0))));
    per_record(st, [&](const uint8_t *p, size_t n) {
        uLongf len = out.size();
        compress2(out.data(), &len, p, n, 1);
    });
}

// Decoding records: each record's segment, decoded alone.
void BM_gzip_decmprs_records(benchmark::State &st) {
    const Bytes &in = cmpr_tool::builtin_sample();
    const size_t record = static_cast<size_t>(st.range(0));
    std::vector<Bytes> packed;
    for (size_t pos = 0; pos + record <= in.size(); pos += record)
        packed.push_back(own_pack(Bytes(in.begin() + static_cast<long>(pos),
                                        in.begin() + static_cast<long>(pos + record))));
    const cmpr_tool::Region back(CMPR_GZIP_DECMPRS_BOUND(CMPR_GZIP_CMPRS_BOUND(record)),
                                 "benchmark output");
    for (auto _ : st)
        for (const Bytes &p : packed)
            gzip_decmprs(p.data(), static_cast<uint32_t>(p.size()), back.data());
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) *
                         static_cast<int64_t>(packed.size() * record));
}

void BM_uncompress_records(benchmark::State &st) {
    const Bytes &in = cmpr_tool::builtin_sample();
    const size_t record = static_cast<size_t>(st.range(0));
    std::vector<Bytes> packed;
    for (size_t pos = 0; pos + record <= in.size(); pos += record) {
        Bytes out(compressBound(record));
        uLongf len = out.size();
        compress2(out.data(), &len, in.data() + pos, record, 1);
        out.resize(len);
        packed.push_back(out);
    }
    Bytes back(record);
    for (auto _ : st)
        for (const Bytes &p : packed) {
            uLongf len = back.size();
            uncompress(back.data(), &len, p.data(), p.size());
        }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) *
                         static_cast<int64_t>(packed.size() * record));
}

// ---- CRC-32 engines, each on its own -----------------------------------------------

void crc_engine(benchmark::State &st, cmpr::CrcEngine engine) {
    const Bytes &in = input(st);
    if (engine == nullptr) {
        st.SkipWithError("this CPU lacks what the engine needs");
        return;
    }
    for (auto _ : st) benchmark::DoNotOptimize(engine(0xFFFFFFFFu, in.data(), in.size()));
    count_bytes(st, in);
}

void BM_crc32_slice8(benchmark::State &st) {
    crc_engine(st, cmpr::crc32_slice8);
}
void BM_crc32_clmul128(benchmark::State &st) {
    crc_engine(st, cmpr::crc32_clmul128_engine());
}
void BM_crc32_clmul512(benchmark::State &st) {
    crc_engine(st, cmpr::crc32_clmul512_engine());
}

#define CMPR_BENCH(fn) \
    BENCHMARK(fn)->DenseRange(0, 3)->ArgName("data")->Unit(benchmark::kMillisecond)

CMPR_BENCH(BM_crc_gen);
CMPR_BENCH(BM_zlib_crc32);
CMPR_BENCH(BM_cmprs_data);
CMPR_BENCH(BM_decmprs_data);
CMPR_BENCH(BM_compress2_level1);
CMPR_BENCH(BM_uncompress);
CMPR_BENCH(BM_gzip_cmprs);
CMPR_BENCH(BM_gzip_decmprs);
CMPR_BENCH(BM_crc32_slice8);
CMPR_BENCH(BM_crc32_clmul128);
CMPR_BENCH(BM_crc32_clmul512);

#define CMPR_BENCH_RECORDS(fn) \
    BENCHMARK(fn)->Arg(256)->Arg(1024)->Arg(4096)->ArgName("record")->Unit(benchmark::kMillisecond)

CMPR_BENCH_RECORDS(BM_gzip_cmprs_records);
CMPR_BENCH_RECORDS(BM_compress2_level1_records);
CMPR_BENCH_RECORDS(BM_gzip_decmprs_records);
CMPR_BENCH_RECORDS(BM_uncompress_records);

// Segment ends are traced at level 6 for every decoded segment: keep them
// out of the measurements and the output.
int quiet(const char *, int, int, const char *, ...) {
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    cmpr_api_init(quiet);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
