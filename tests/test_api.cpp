// CRC-32, put_word, the trace hook and the zlib wrappers.
#include <gtest/gtest.h>

#include <cstring>

#include "api/crc32_engines.h"
#include "common/report.h"
#include "support/support.h"

#if CMPR_HAS_ZLIB
#include <zlib.h>
#endif

using cmpr_test::Bytes;
using cmpr_test::str;

namespace {

// The CRC-32 of gzip and PNG a bit at a time, straight from the polynomial.
uint32_t reference_crc(const uint8_t *p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n * 8; ++i)
        c = (c >> 1) ^ (0xEDB88320u & (0u - ((c ^ p[i / 8] >> i % 8) & 1u)));
    return ~c;
}

}  // namespace

// Every engine the library may pick, whatever this CPU picks, on sizes
// around each engine's block boundaries and from every alignment; the
// exported calls whole, split and empty (which builds the table all the same).
TEST(Crc32, EveryEngineAgreesWithTheReference) {
    std::vector<cmpr::CrcEngine> engines = {cmpr::crc32_bytewise, cmpr::crc32_slice8};
    for (cmpr::CrcEngine e :
         {cmpr::crc32_clmul128_engine(), cmpr::crc32_clmul512_engine(), cmpr::crc32_armv8_engine()})
        if (e != nullptr) engines.push_back(e);
    const Bytes data = cmpr_test::random_bytes(9000, 23);
    for (size_t e = 0; e < engines.size(); ++e)
        for (size_t at = 0; at < 8; ++at)
            for (size_t n = 0; n < 8200;
                 n += n < 1100 ? 1 : 1023)  // 2047, 2048, 3071, 4094, ... 8185
                ASSERT_EQ(engines[e](0xFFFFFFFFu, &data[at], n), ~reference_crc(&data[at], n))
                    << "engine " << e << " n=" << n << " at=" << at;
    EXPECT_EQ(reference_crc(reinterpret_cast<const uint8_t *>("123456789"), 9), 0xCBF43926u);
    std::memset(crc_table, 0, sizeof crc_table);
    crc_table_computed = 0;
    EXPECT_EQ(update_crc(0x12345678u, nullptr, 0), 0x12345678u);
    EXPECT_EQ(crc_table[128], 0xEDB88320u);
    for (int32_t split : {0, 1, 7, 8, 9, 2500, 5000})
        EXPECT_EQ(~update_crc(update_crc(~0u, &data[0], split), &data[split], 5000 - split),
                  reference_crc(data.data(), 5000));
    EXPECT_EQ(crc_gen(data.data(), 9000), reference_crc(data.data(), 9000));
}

TEST(PutWord, WritesLittleEndianThenZeros) {
    for (int32_t count : {4, 2, 6, -3}) {
        char *buf = nullptr;
        size_t len = 0;
        FILE *f = open_memstream(&buf, &len);
        put_word(f, count, 0x12345678u);
        std::fclose(f);
        EXPECT_EQ(std::string(buf, len),
                  std::string("\x78\x56\x34\x12\0\0", 6).substr(0, std::max(count, 0)));
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
    EXPECT_EQ(printed(), want);
    {
        cmpr_test::TraceCapture cap;
        EXPECT_EQ(printed(), "");  // a host's function gets the reports
        EXPECT_EQ(cap.reports.front(), "decode_block-573-6: EOB 0");
        cmpr_api_init(nullptr);  // puts the default back
        EXPECT_EQ(printed(), want);
        cmpr_trc_fn = nullptr;  // which a host may also write itself
        EXPECT_EQ(printed(), want);
    }
}

#if CMPR_HAS_ZLIB
TEST(ZlibWrappers, WriteZlibsLevelOneStreamAndRestoreIt) {
    for (const Bytes &data : {cmpr_test::log_text(20000, 1), cmpr_test::binary_records(30000, 3)}) {
        uLongf n = compressBound(data.size());
        Bytes want(n), packed(data.size()), back(data.size());
        ASSERT_EQ(compress2(want.data(), &n, data.data(), data.size(), 1), Z_OK);
        want.resize(n);
        uint32_t len = 0;
        ASSERT_EQ(cmprs_data(data.data(), uint32_t(data.size()), &len, packed.data()), 0);
        EXPECT_EQ(Bytes(packed.begin(), packed.begin() + len), want);
        ASSERT_EQ(decmprs_data(packed.data(), len, uint32_t(back.size()), back.data()), 0);
        EXPECT_EQ(back, data);
    }
    cmpr_test::TraceCapture cap;  // input that does not shrink is declined without a report
    Bytes noise = cmpr_test::random_bytes(4096, 7), out(4096);
    uint32_t len = 0;
    EXPECT_EQ(cmprs_data(noise.data(), 4096, &len, out.data()), 1);
    EXPECT_TRUE(len <= 4096 && cap.reports.empty());
}

TEST(ZlibWrappers, DecmprsDataPreFillsAndReportsTooLittleRoom) {
    uLongf n = 64;
    Bytes stream(n), q(100, 'q'), dst(18, 0x55);
    ASSERT_EQ(compress2(stream.data(), &n, q.data(), q.size(), 1), Z_OK);
    cmpr_test::TraceCapture cap;
    EXPECT_EQ(decmprs_data(stream.data(), uint32_t(n), 16, dst.data()), 1);
    EXPECT_EQ(dst, Bytes(16, 'q') + Bytes(2, 0x55));
    EXPECT_EQ(cap.reports[0], "decmprs_data-201-3: inflate error: -5 expected: 1");
    EXPECT_EQ(decmprs_data(stream.data(), uint32_t(n), 0, dst.data() + 18), 1);  // writes nothing
    const Bytes junk = {0xFF, 0xFF, 0xFF, 0xFF};
    std::fill(dst.begin(), dst.end(), 0x55);
    EXPECT_EQ(decmprs_data(junk.data(), 4, 12, dst.data()),
              1);  // "garbage", zeros, the last one too
    EXPECT_EQ(dst, str("garbage") + Bytes(5, 0) + Bytes(6, 0x55));
    EXPECT_EQ(decmprs_data(junk.data(), 4, 5, dst.data()), 1);
    EXPECT_EQ(dst, str("garb") + Bytes(1, 0) + str("ge") + Bytes(5, 0) + Bytes(6, 0x55));
}
#endif
