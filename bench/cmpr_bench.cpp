// Micro-benchmarks of libcmpr beside zlib, on the built-in sample of
// `cmpr bench` (argument 0) and on each of its three parts alone (1 to 3).
// Throughput counts uncompressed bytes in both directions.
//
//   build/release/bench/cmpr_bench [--benchmark_filter=REGEX]
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>

#include "cmpr.h"
#include "sample_data.h"

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
//
// BM_gzip_cmprs and BM_gzip_decmprs go here once the library exports them,
// registered like the others below.  The decoder gets an output buffer of the
// library's decode bound and must finish without escalations
// (cmpr_tool::refused_escalations() from tools/shell_refuse.h stays 0).

#define CMPR_BENCH(fn) \
    BENCHMARK(fn)->DenseRange(0, 3)->ArgName("data")->Unit(benchmark::kMillisecond)

CMPR_BENCH(BM_crc_gen);
CMPR_BENCH(BM_zlib_crc32);
CMPR_BENCH(BM_cmprs_data);
CMPR_BENCH(BM_decmprs_data);
CMPR_BENCH(BM_compress2_level1);
CMPR_BENCH(BM_uncompress);

}  // namespace

BENCHMARK_MAIN();
