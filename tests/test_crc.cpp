// CRC-32 and put_word.
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include "api/crc32_engines.h"
#include "cmpr.h"
#include "support/test_data.h"

namespace {

// The reference: the CRC-32 of gzip and PNG one bit at a time, straight from
// the polynomial, sharing nothing with the library's tables or engines (and
// needing no zlib, which the cross builds lack).
uint32_t reference_crc(const uint8_t *p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

uint32_t reference_crc(const std::string &s) {
    return reference_crc(reinterpret_cast<const uint8_t *>(s.data()), s.size());
}

// Back to the load-time state: table and flag zero.
void forget_table() {
    std::memset(crc_table, 0, sizeof crc_table);
    crc_table_computed = 0;
}

}  // namespace

// Published check values, so that the reference itself is known to be right.
TEST(Crc32, ReferenceGivesThePublishedValues) {
    EXPECT_EQ(reference_crc(""), 0x00000000u);
    EXPECT_EQ(reference_crc("a"), 0xE8B7BE43u);
    EXPECT_EQ(reference_crc("123456789"), 0xCBF43926u);
    EXPECT_EQ(reference_crc("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
    EXPECT_EQ(reference_crc(std::string(32, '\0')), 0x190A55ADu);
    EXPECT_EQ(reference_crc(std::string(32, '\xFF')), 0xFF6CAB0Bu);
}

TEST(Crc32, KnownValuesAndTable) {
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc_gen(check, 9), 0xCBF43926u);
    EXPECT_EQ(crc_gen(check, 0), 0u);
    EXPECT_EQ(crc_gen(check, -5), 0u);
    EXPECT_EQ(crc_table[0], 0u);
    EXPECT_EQ(crc_table[128], 0xEDB88320u);
    EXPECT_EQ(crc_table[255], 0x2D02EF8Du);
}

TEST(Crc32, EmptyUpdateStillBuildsTheTable) {
    forget_table();
    EXPECT_EQ(update_crc(0x12345678u, nullptr, 0), 0x12345678u);
    EXPECT_EQ(crc_table_computed, 1);
    EXPECT_EQ(crc_table[128], 0xEDB88320u);
    EXPECT_EQ(update_crc(0xDEADBEEFu, nullptr, -1), 0xDEADBEEFu);
}

TEST(Crc32, MakeTableRebuildsWhateverTheFlagSays) {
    crc_table[7] = 0;
    crc_table_computed = 1;
    make_crc_table();
    EXPECT_NE(crc_table[7], 0u);
    EXPECT_EQ(crc_table_computed, 1);
}

TEST(Crc32, AgreesWithTheReferenceOnEverySizeAndSplit) {
    cmpr_test::Bytes data = cmpr_test::random_bytes(70000, 21);
    for (size_t n : {1u, 2u, 3u, 7u, 8u, 15u, 16u, 31u, 64u, 255u, 1000u, 4097u, 70000u}) {
        EXPECT_EQ(crc_gen(data.data(), static_cast<int32_t>(n)), reference_crc(data.data(), n))
            << n;
        size_t m = n - 1;  // from a misaligned start
        EXPECT_EQ(crc_gen(data.data() + 1, static_cast<int32_t>(m)),
                  reference_crc(data.data() + 1, m));
    }
    uint32_t whole = crc_gen(data.data(), 5000);
    for (int32_t split : {0, 1, 7, 8, 9, 100, 2500, 4999, 5000}) {
        uint32_t r = update_crc(0xFFFFFFFFu, data.data(), split);
        r = update_crc(r, data.data() + split, 5000 - split);
        EXPECT_EQ(~r, whole) << split;
    }
    for (const auto &[name, bytes] : cmpr_test::varied_samples())
        EXPECT_EQ(crc_gen(bytes.data(), static_cast<int32_t>(bytes.size())),
                  reference_crc(bytes.data(), bytes.size()))
            << name;
}

TEST(Crc32, FirstUseOnManyThreadsAtOnce) {
    cmpr_test::Bytes data = cmpr_test::log_text(50000, 22);
    const uint32_t want = reference_crc(data.data(), data.size());
    for (int round = 0; round < 20; ++round) {
        forget_table();
        std::vector<uint32_t> got(6);
        std::vector<std::thread> threads;
        for (size_t t = 0; t < got.size(); ++t)
            threads.emplace_back(
                [&, t] { got[t] = crc_gen(data.data(), static_cast<int32_t>(data.size())); });
        for (auto &th : threads) th.join();
        for (uint32_t g : got) EXPECT_EQ(g, want);
    }
    EXPECT_EQ(crc_table_computed, 1);
}

TEST(PutWord, WritesLittleEndianThenZeros) {
    auto written = [](int32_t count) {
        FILE *f = std::tmpfile();
        EXPECT_EQ(put_word(f, count, 0x12345678u), 0);
        std::string s(static_cast<size_t>(std::ftell(f)), '\0');
        std::rewind(f);
        EXPECT_EQ(std::fread(s.data(), 1, s.size(), f), s.size());
        std::fclose(f);
        return s;
    };
    EXPECT_EQ(written(4), "\x78\x56\x34\x12");
    EXPECT_EQ(written(2), "\x78\x56");
    EXPECT_EQ(written(6), std::string("\x78\x56\x34\x12\0\0", 6));
    EXPECT_EQ(written(8), std::string("\x78\x56\x34\x12\0\0\0\0", 8));
    EXPECT_EQ(written(0), "");
    EXPECT_EQ(written(-3), "");
}

TEST(PutWord, IgnoresWriteErrors) {
    FILE *f = std::fopen("/dev/null", "r");  // not writable: fputc fails
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(put_word(f, 4, 1), 0);
    std::fclose(f);
}

// Every engine the library may pick, whatever this CPU would pick, on sizes
// around each engine's block boundaries and from every alignment.
TEST(Crc32, EveryEngineAgreesWithTheReference) {
    std::vector<std::pair<const char *, cmpr::CrcEngine>> engines = {
        {"bytewise", cmpr::crc32_bytewise}, {"slice16", cmpr::crc32_slice16}};
    if (cmpr::CrcEngine e = cmpr::crc32_clmul128_engine()) engines.push_back({"clmul128", e});
    if (cmpr::CrcEngine e = cmpr::crc32_clmul512_engine()) engines.push_back({"clmul512", e});
    cmpr_test::Bytes data = cmpr_test::random_bytes(9000, 23);
    std::vector<size_t> sizes;
    for (size_t n = 0; n <= 1100; ++n) sizes.push_back(n);
    for (size_t n : {2047u, 2048u, 2049u, 4096u + 15, 8191u}) sizes.push_back(n);
    for (const auto &[name, engine] : engines)
        for (size_t align = 0; align < 8; ++align)
            for (size_t n : sizes) {
                uint32_t want = ~reference_crc(data.data() + align, n);
                ASSERT_EQ(engine(0xFFFFFFFFu, data.data() + align, n), want)
                    << name << " n=" << n << " align=" << align;
            }
}
