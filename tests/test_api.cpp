// CRC-32, put_word, the trace hook and the zlib wrappers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "api/crc32_engines.h"
#include "common/report.h"
#include "support/support.h"

#if CMPR_HAS_ZLIB
#include <zlib.h>
#endif

using cmpr_test::Bytes;
using cmpr_test::Lines;
using cmpr_test::str;

namespace {

// The CRC register after 'n' bytes, a bit at a time, straight from the
// polynomial; no preset, no complement.
uint32_t reference_crc(uint32_t c, const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n * 8; ++i)
        c = (c >> 1) ^ (0xEDB88320u & (0u - ((c ^ p[i / 8] >> i % 8) & 1u)));
    return c;
}

#if CMPR_HAS_ZLIB
int g_init_result = Z_OK;  // what zlib's next initialisation returns instead, unless Z_OK
#endif

}  // namespace

#if CMPR_HAS_ZLIB
// The test binary is linked with --wrap for zlib's two initialisations.
extern "C" int __real_deflateInit_(z_streamp, int, const char *, int);
extern "C" int __real_inflateInit_(z_streamp, const char *, int);
extern "C" int __wrap_deflateInit_(z_streamp s, int level, const char *version, int size) {
    return g_init_result != Z_OK ? g_init_result : __real_deflateInit_(s, level, version, size);
}
extern "C" int __wrap_inflateInit_(z_streamp s, const char *version, int size) {
    return g_init_result != Z_OK ? g_init_result : __real_inflateInit_(s, version, size);
}
#endif

// Every engine the library may pick, whatever this CPU picks, on sizes
// around each engine's block boundaries and from every alignment; the
// exported calls whole, split and on nothing at all.  Every entry of the
// exported table, built by the first update (of no bytes too) and by
// make_crc_table() whatever the flag says.  put_word for counts from the
// most negative to past the word.
TEST(Crc32, EveryEngineEveryTableEntryAndPutWord) {
    std::vector<cmpr::CrcEngine> engines = {cmpr::crc32_bytewise, cmpr::crc32_slice8};
    for (cmpr::CrcEngine e :
         {cmpr::crc32_clmul128_engine(), cmpr::crc32_clmul512_engine(), cmpr::crc32_armv8_engine()})
        if (e != nullptr) engines.push_back(e);
    const Bytes data = cmpr_test::random_bytes(9000, 23);
    for (size_t e = 0; e < engines.size(); ++e)
        for (size_t at = 0; at < 8; ++at)
            for (size_t n = 0; n < 8200;
                 n += n < 1100 ? 1 : 1023)  // 2047, 2048, 3071, 4094, ... 8185
                ASSERT_EQ(engines[e](~0u, &data[at], n), reference_crc(~0u, &data[at], n))
                    << "engine " << e << " n=" << n << " at=" << at;
    EXPECT_EQ(~reference_crc(~0u, reinterpret_cast<const uint8_t *>("123456789"), 9), 0xCBF43926u);
    for (int32_t split : {0, 1, 7, 8, 9, 2500, 5000})
        EXPECT_EQ(update_crc(update_crc(~0u, &data[0], split), &data[split], 5000 - split),
                  reference_crc(~0u, data.data(), 5000));
    EXPECT_EQ(crc_gen(data.data(), 9000), ~reference_crc(~0u, data.data(), 9000));

    std::memset(crc_table, 0, sizeof crc_table);
    crc_table_computed = 0;
    for (int32_t len : {0, -1, INT32_MIN})
        EXPECT_TRUE(update_crc(0x12345678u, nullptr, len) == 0x12345678u &&
                    crc_gen(nullptr, len) == 0);
    const uint8_t zero = 0;  // entry n: a zero byte into register n
    for (int built = 0; built < 2; ++built) {
        for (uint32_t n = 0; n < 256; ++n) ASSERT_EQ(crc_table[n], reference_crc(n, &zero, 1)) << n;
        EXPECT_EQ(crc_table_computed, 1);
        std::memset(crc_table, 0, sizeof crc_table);
        make_crc_table();
    }

    const std::string word("\x78\x56\x34\x12\0\0\0\0\0", 9);
    for (int32_t count : {INT32_MIN, -1, 0, 1, 2, 4, 5, 8, 9}) {
        char *buf = nullptr;
        size_t len = 0;
        FILE *f = open_memstream(&buf, &len);
        EXPECT_EQ(put_word(f, count, 0x12345678u), 0);
        std::fclose(f);
        EXPECT_EQ(std::string(buf, len), word.substr(0, size_t(std::clamp(count, 0, 9))));
        std::free(buf);
    }
}

TEST(TraceHook, DefaultPrintsFuncLineAndMessageAndANullPutsItBack) {
    auto printed = [] {
        testing::internal::CaptureStdout();
        CMPR_REPORT("decode_block", 573, 6, "EOB %d", 0);
        CMPR_REPORT("f", 1, 3, "%s", std::string(5000, 'x').c_str());  // cut at 1023 characters
        return testing::internal::GetCapturedStdout();
    };
    const std::string want = "decode_block-573: EOB 0\nf-1: " + std::string(1023, 'x') + "\n";
    EXPECT_TRUE(cmpr_trc_fn == cmpr_dflt_trc && printed() == want);  // from load on
    {
        cmpr_test::TraceCapture cap;
        EXPECT_EQ(printed(), "");  // a host's function gets the reports
        EXPECT_EQ(cap.reports.front(), "decode_block-573-6: EOB 0");
        cmpr_api_init(nullptr);  // puts the default back, the only one to get reports
        EXPECT_TRUE(printed() == want && cap.reports.size() == 2);
        cmpr_trc_fn = nullptr;  // which a host may also write itself
        EXPECT_EQ(printed(), want);
    }
}

#if CMPR_HAS_ZLIB
// Every status that zlib's initialisation or its one call can give: the
// result, what the output holds (the room given and two bytes past it), the
// report and its dump, from the input itself in cmprs_data and from 32 bytes
// before it in decmprs_data.  The input lies amid bytes of its own, so the
// rows are known.  cmprs_data writes zlib's level 1 (as compress2 does) and
// out_len (here ~0 before) whenever it compressed, and reports only failed
// initialisations.
TEST(ZlibWrappers, EveryStatusWithItsReportAndDump) {
    // clang-format off
    const Bytes text = cmpr_test::log_text(20000, 1),
                abc = {0x78, 0x01, 0x4b, 0x4c, 0x4a, 0x06, 0x00, 0x02, 0x4d, 0x01, 0x27},
                dict = {0x78, 0x3f, 0x02, 0x4d, 0x01, 0x27, 0x4b, 0x04, 0x23, 0x00},  // wants one
                segment = {0x89, 0x49, 0xc9, 0x60, 0x94, 0x0c, 0x00},  // the library's own format
                fill = str("garbage") + Bytes(9, 0), got = str("abcbage") + Bytes(9, 0);
    // clang-format on
    uLongf n = compressBound(text.size());
    Bytes level1(n);
    ASSERT_EQ(compress2(level1.data(), &n, text.data(), text.size(), 1), Z_OK);
    level1.resize(n);
    // clang-format off
    const std::tuple<bool, Bytes, uint32_t, int, int, std::string, Bytes> cases[] = {
        {false, abc, 16, Z_OK, 0, "", got},
        {false, level1, 20000, Z_OK, 0, "", text},
        {false, dict, 16, Z_OK, 1, "decmprs_data-201-3: inflate error: 2 expected: 1", fill},
        {false, segment, 16, Z_OK, 1, "decmprs_data-201-3: inflate error: -3 expected: 1", fill},
        {false, segment, 5, Z_OK, 1, "decmprs_data-201-3: inflate error: -3 expected: 1",
         str("garb") + Bytes(1, 0)},
        {false, Bytes(abc.begin(), abc.end() - 4), 16, Z_OK, 1,  // truncated
         "decmprs_data-201-3: inflate error: -5 expected: 1", got},
        {false, abc, 2, Z_OK, 1, "decmprs_data-201-3: inflate error: -5 expected: 1", str("ab")},
        {false, abc, 0, Z_OK, 1, "decmprs_data-201-3: inflate error: -5 expected: 1", {}},
        {false, abc, 16, Z_MEM_ERROR, 1, "decmprs_data-184-3: inflateInit error: -4 expected: 0",
         fill},
        {true, text, 20000, Z_OK, 0, "", level1},
        {true, cmpr_test::random_bytes(64, 7), 64, Z_OK, 1, "", {}},  // does not shrink
        {true, {}, 0, Z_OK, 1, "", {}},
        {true, abc, 11, Z_STREAM_ERROR, 1, "cmprs_data-112-3: deflateInit error: -2 expected: 0",
         {}}};
    // clang-format on
    Bytes framed = cmpr_test::random_bytes(32 + 20000, 9);
    uint8_t *const src = &framed[32];
    for (const auto &[compress, in, room, init_result, result, report, out] : cases) {
        std::copy(in.begin(), in.end(), src);
        Bytes dst(room + 2, 0x55);
        uint32_t len = ~0u;
        cmpr_test::TraceCapture cap;
        g_init_result = init_result;
        EXPECT_EQ(compress ? cmprs_data(src, uint32_t(in.size()), &len, dst.data())
                           : decmprs_data(src, uint32_t(in.size()), room, dst.data()),
                  result)
            << report;
        g_init_result = Z_OK;
        ASSERT_TRUE(!compress || (init_result ? len == ~0u : len <= room)) << len;
        if (compress) dst.erase(dst.begin() + (out.empty() ? 0 : len), dst.end() - 2);
        EXPECT_EQ(dst, out + Bytes(2, 0x55)) << report;
        const size_t at = report.find(' ') + 1;  // the label: the step that failed
        const std::string header =
            "dbg_hex_dump-59-3: " + report.substr(at, report.find(" error") - at);
        EXPECT_EQ(cap.reports,
                  (report.empty() ? Lines{}
                                  : Lines{report, header + " error: buffer dump:"} +
                                        cmpr_test::dump_rows(64, src - (compress ? 0 : 32), 5)));
    }
}
#endif
