// The own codec end to end: what gzip_cmprs writes, gzip_decmprs restores,
// alone or as one of many segments joined the way a host joins them.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include "cmpr.h"
#include "support/test_data.h"
#include "support/trace_capture.h"

using cmpr_test::Bytes;

namespace {

constexpr uint8_t kCanary = 0xA5;

Bytes compress(const Bytes &in) {
    Bytes out(CMPR_GZIP_CMPRS_BOUND(in.size()));
    out.resize(
        static_cast<size_t>(gzip_cmprs(in.data(), static_cast<uint32_t>(in.size()), out.data())));
    return out;
}

// Decodes into a buffer with room for 'expect' bytes and a canary tail, and
// checks that nothing past the result was touched.
Bytes decompress(const Bytes &in, size_t expect) {
    Bytes out(expect + 4096, kCanary);
    uint32_t n = gzip_decmprs(in.data(), static_cast<uint32_t>(in.size()), out.data());
    EXPECT_LE(n, expect);
    for (size_t i = n; i < out.size(); ++i)
        if (out[i] != kCanary) {
            ADD_FAILURE() << "byte " << i << " written past the result " << n;
            break;
        }
    out.resize(n);
    return out;
}

// Joins segments as a host does: each at a multiple of 4 bytes, zero bytes
// between them, and four more zero bytes at the end so that a short last
// segment is still decoded.
Bytes join(const std::vector<Bytes> &segments, uint64_t seed) {
    Bytes buf;
    Bytes extra = cmpr_test::random_bytes(segments.size(), seed);
    for (size_t i = 0; i < segments.size(); ++i) {
        buf.insert(buf.end(), segments[i].begin(), segments[i].end());
        buf.resize((buf.size() + 3) / 4 * 4 + 4 * (extra[i] % 3));
    }
    buf.resize(buf.size() + 4);
    return buf;
}

}  // namespace

TEST(OwnCodec, RestoresEveryInput) {
    cmpr_test::TraceCapture quiet;
    for (const auto &[name, in] : cmpr_test::varied_samples()) {
        SCOPED_TRACE(name);
        Bytes packed = compress(in);
        Bytes back = decompress(packed, in.size());
        ASSERT_EQ(back.size(), in.size());
        EXPECT_TRUE(back == in);
        ASSERT_EQ(quiet.reports().size(), 1u);  // one segment end, nothing else
        EXPECT_EQ(quiet.reports()[0].level, 6);
        quiet.clear();
    }
}

TEST(OwnCodec, RestoresManySegmentsJoinedWithZeroPadding) {
    cmpr_test::TraceCapture traces;
    for (uint64_t seed = 1; seed <= 12; ++seed) {
        Bytes all =
            seed % 2 ? cmpr_test::log_text(200000, seed) : cmpr_test::binary_records(150000, seed);
        Bytes sizes = cmpr_test::random_bytes(400, seed + 100);
        std::vector<Bytes> segments;
        size_t traced = 0;  // an empty segment reads as filler: its end is not traced
        size_t pos = 0;
        for (size_t i = 0; pos < all.size(); ++i) {
            // Records of 1 byte to a few KiB, some empty.
            size_t len = i % 17 == 3 ? 0 : 1 + (sizes[i % sizes.size()] * 37 + i * 101) % 5000;
            len = std::min(len, all.size() - pos);
            segments.push_back(compress(Bytes(all.begin() + pos, all.begin() + pos + len)));
            traced += len > 0;
            pos += len;
        }
        traces.clear();
        Bytes back = decompress(join(segments, seed), all.size());
        ASSERT_EQ(back.size(), all.size()) << seed;
        EXPECT_TRUE(back == all) << seed;
        EXPECT_EQ(traces.reports().size(), traced) << seed;
    }
}

TEST(OwnCodec, EachCallStartsAfresh) {
    cmpr_test::TraceCapture quiet;
    Bytes a = cmpr_test::log_text(20000, 41), b = cmpr_test::binary_records(30000, 42);
    Bytes pa = compress(a), pb = compress(b);
    EXPECT_EQ(decompress(pa, a.size()), a);
    EXPECT_EQ(decompress(pb, b.size()), b);
    EXPECT_EQ(decompress(pa, a.size()), a);
}
