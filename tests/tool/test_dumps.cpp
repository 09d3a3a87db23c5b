// inspect and salvage on buffers taken off a unit: records joined as the
// daemon joins them, then damaged in each way flash is damaged.  What
// inspect --json reports (parsed), where salvage --fill puts every intact
// record, that nothing is written as a record that is not one, and that a
// guess says it is one.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>

#include "tool_run.h"

using namespace tool_test;
using Json = nlohmann::json;

namespace {

constexpr size_t kRecord = 4096;

struct Dump {
    std::vector<Bytes> records;
    std::vector<size_t> at;  // each record's segment, and the end
    Bytes bytes;
};

// Records of logs, counters and noise, joined as the daemon joins them.
Dump unit_dump(size_t count) {
    Dump d;
    for (size_t i = 0; i < count; ++i)
        d.records.push_back(i % 5 == 3   ? cmpr_test::binary_records(kRecord, i)
                            : i % 7 == 5 ? cmpr_test::random_bytes(kRecord, i)
                                         : cmpr_test::log_text(kRecord, i));
    d.bytes = cmpr_test::join_segments(d.records, &d.at);
    return d;
}

Json inspect(const Args &args) {
    run(Args{"inspect", "--json"}, args);
    return Json::parse(slurp("out"));
}

struct Scenario {
    const char *name;
    Bytes buf;
    std::set<size_t> lost;        // records whose bytes the damage touched
    std::set<std::string> kinds;  // regions inspect must report
    bool estimated;               // record positions are a guess
    Args salvage_opts = {};
    bool slots = true;  // every intact record lands at its slot (else: is saved)
};

}  // namespace

TEST(Dumps, EveryIntactRecordSavedAtItsPlace) {
    const Dump d = unit_dump(16);
    const Bytes &b = d.bytes;
    auto touched = [&](size_t from, size_t to) {
        std::set<size_t> s;
        for (size_t k = 0; k + 1 < d.at.size(); ++k)
            if (d.at[k] < to && from < d.at[k + 1]) s.insert(k);
        return s;
    };
    auto with = [&](size_t at, size_t drop, const Bytes &instead) {
        Bytes out(b.begin(), b.begin() + static_cast<ptrdiff_t>(at));
        out = out + instead;
        out.insert(out.end(), b.begin() + static_cast<ptrdiff_t>(at + drop), b.end());
        return out;
    };
    const size_t mid = d.at[6] + 300, blk = d.at[9] / 4096 * 4096;
    const Bytes block(b.begin() + static_cast<ptrdiff_t>(blk),
                      b.begin() + static_cast<ptrdiff_t>(blk + 4096));
    Bytes flipped = b, swapped = b;
    // Some flips leave no sign (a literal for another the writer would also
    // have written); take the first that shows.
    for (int bit = 0; bit < 8 && flipped == b; ++bit) {
        flipped[mid] ^= static_cast<uint8_t>(1 << bit);
        if (run({"inspect", put("in", flipped)}) == 0) flipped = b;
    }
    for (size_t i = 0; i + 1 < b.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
    const Bytes short_last = [&] {
        const Bytes s =
            cmpr_test::join_segments({d.records[0], d.records[1], d.records[2],
                                      Bytes(d.records[0].begin(), d.records[0].begin() + 1000)});
        return Bytes(s.begin(), s.end() - 4) + Bytes{0x5a, 0xa5, 0x5a, 0x11, 0x22};
    }();
    const std::vector<Scenario> cases = {
        {"clean", b, {}, {}, false},
        {"erased page",
         with(mid, 2048, Bytes(2048, 0xFF)),
         touched(mid, mid + 2048),
         {"erased"},
         true},
        {"erased block",
         with(mid, 4096, Bytes(4096, 0xFF)),
         touched(mid, mid + 4096),
         {"erased"},
         true},
        {"zeroed", with(mid, 512, Bytes(512, 0)), touched(mid, mid + 512), {"zeros"}, true},
        {"bit flipped", flipped, touched(mid, mid + 1), {"damaged"}, false},
        {"byte inserted", with(mid, 0, {0x5a}), touched(mid, mid + 1), {"damaged"}, true},
        {"bytes lost", with(mid, 3, {}), touched(mid, mid + 3), {"damaged"}, true},
        {"junk in front", Bytes{0x12, 0x34} + b, {}, {"junk"}, false},
        {"block written over the next",
         with(blk + 4096, 4096, block),
         touched(blk + 4096, blk + 8192),
         {"repeated"},
         true},
        {"block written twice", with(blk + 4096, 0, block), {}, {"repeated"}, false},
        {"garbage after a short last record", short_last, {}, {"damaged"}, false},
        {"erased tail", b + Bytes(8192, 0xFF), {}, {"erased"}, false},
        {"fill inside a record",
         with(mid, 0, Bytes(40000, 0xAA)),
         touched(mid, mid + 1),
         {"damaged"},
         false},
        // Bytes that decode as literals: put in, or written over records?
        {"fill between records",
         with(d.at[6], 0, Bytes(40000, 0xAA)),
         {},
         {"damaged"},
         true,
         {},
         false},
        {"16-bit words swapped", swapped, {}, {}, false, {"--swap=16"}},
    };
    for (const Scenario &c : cases) {
        SCOPED_TRACE(c.name);
        const bool is_short = c.name == std::string("garbage after a short last record");
        std::vector<Bytes> want(d.records.begin(), d.records.begin() + (is_short ? 3 : 16));
        if (is_short) want.push_back(Bytes(d.records[0].begin(), d.records[0].begin() + 1000));
        put("in", c.buf);
        const Json j = inspect(c.salvage_opts + Args{path("in")});
        std::set<std::string> kinds;
        for (const Json &r : j["regions"]) kinds.insert(r["kind"].get<std::string>());
        for (const std::string &k : c.kinds) EXPECT_TRUE(kinds.count(k)) << k << "\n" << j.dump();
        EXPECT_EQ(j["record_size"], kRecord);
        EXPECT_EQ(j["summary"]["estimated_from"].is_number(), c.estimated) << j["summary"].dump();
        EXPECT_EQ(run({"salvage", "-f", "--fill=0", path("in"), path("saved")}, c.salvage_opts),
                  c.kinds.empty() ? 0 : 1)
            << slurp("err");
        EXPECT_EQ(slurp("err").find("estimated") != std::string::npos, c.estimated) << slurp("err");
        const Bytes saved = slurp<Bytes>("saved");
        // Every intact record at its own slot, and nothing but records and fill.
        for (size_t k = 0; k < want.size(); ++k) {
            const Bytes at(
                saved.begin() + static_cast<ptrdiff_t>(std::min(saved.size(), k * kRecord)),
                saved.begin() +
                    static_cast<ptrdiff_t>(std::min(saved.size(), k * kRecord + want[k].size())));
            if (!c.slots) {
                EXPECT_TRUE(std::search(saved.begin(), saved.end(), want[k].begin(),
                                        want[k].end()) != saved.end());
                continue;
            }
            EXPECT_TRUE(c.lost.count(k) || at == want[k]) << "record " << k;
            EXPECT_TRUE(at == want[k] || at == Bytes(at.size(), 0)) << "slot " << k;
        }
        EXPECT_TRUE(!c.slots || saved.size() <= want.size() * kRecord);
    }
    // Whole records lost at record boundaries leave no sign: as the bare
    // segments' note says.
    const Bytes removed = with(d.at[5], d.at[6] - d.at[5], {});
    EXPECT_EQ(run({"inspect", put("in", removed)}), 0);
    EXPECT_NE(slurp("out").find("lost or repeated at record boundaries, cannot be seen"),
              std::string::npos);
}

// What inspect says of a swapped read, a shift, and leading junk, in words.
TEST(Dumps, InspectSaysWhatItSeesAndWhatItGuesses) {
    const Dump d = unit_dump(12);
    const size_t mid = d.at[4] + 100;
    Bytes swapped = d.bytes, shifted = d.bytes;
    for (size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
    shifted.insert(shifted.begin() + static_cast<ptrdiff_t>(mid), 0x77);
    EXPECT_EQ(run({"inspect", put("in", swapped)}), 1);
    EXPECT_NE(slurp("out").find("looks 16-bit byte-swapped"), std::string::npos) << slurp("out");
    EXPECT_EQ(run({"inspect", put("in", shifted)}), 1);
    EXPECT_NE(slurp("out").find(" on, the segments are shifted by 1 byte from the 4-byte grid"),
              std::string::npos);
    run({"inspect", "--json", path("in")});
    const Json j = Json::parse(slurp("out"));
    EXPECT_EQ(j["summary"]["shifts"], 1);  // where the fifth segment begins, one byte on
    for (const Json &r : j["regions"])
        EXPECT_TRUE(r["kind"] != "segment" || r["grid"].is_null() ||
                    (r["grid"] == 1 && r["in_offset"] == d.at[5] + 1));
    // Cut off inside the padding of the last segment, which is off the grid:
    // its padding ends with the data, and the writer check reads no further.
    const size_t last = cmpr_test::compress(d.records[11]).size();
    ASSERT_NE(last % 4, 0u);
    const Bytes cut(shifted.begin(), shifted.begin() + static_cast<ptrdiff_t>(d.at[11] + 1 + last));
    run({"inspect", "--json", put("in", cut)});
    const Json c = Json::parse(slurp("out"));
    const Json &end = c["regions"].back();
    EXPECT_EQ(end["in_offset"].get<size_t>() + end["in_length"].get<size_t>() +
                  end["padding"].get<size_t>(),
              cut.size())
        << end.dump();
    // A clean dump: the summary and the map, no rows.
    EXPECT_EQ(run({"inspect", put("in", d.bytes)}), 0);
    EXPECT_EQ(slurp("out").find("in-offset"), std::string::npos) << slurp("out");
    EXPECT_EQ(run({"inspect", "--all", path("in")}), 0);
    const std::string all = slurp("out");
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 1 + 1 + 12 + 2 + 1 + 16) << all;
}

// Hostile inputs end at once with a verdict: buffers shorter than a word,
// a container whose header claims the impossible.
TEST(Dumps, HostileBuffersEndWithAVerdict) {
    for (const Bytes &tiny : {Bytes{0x8e}, Bytes{0x8e, 0x8e}, Bytes{0x8e, 0x8e, 0x8e}}) {
        EXPECT_EQ(run({"inspect", put("in", tiny)}), 1);
        EXPECT_EQ(run({"salvage", "-f", path("in"), path("saved")}), 1);
    }
    Bytes cmpz = {'C', 'M', 'P', 'Z', 2, 9, 0, 0, 0, 0, 0, 0, 0, 0x8e};
    EXPECT_EQ(run({"test", put("in", cmpz)}), 1);
    EXPECT_TRUE(one_line(slurp("err"))) << slurp("err");
    // A record size of 4 GiB - 1 in a tiny file's header is not believed.
    Bytes huge = {'C', 'M', 'P', 'Z', 3, 100, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff};
    huge = huge + Bytes(52, 0x8e);
    EXPECT_EQ(run({"salvage", "-f", "--fill=0", put("in", huge), path("saved")}), 1);
    EXPECT_LE(std::filesystem::file_size(path("saved")), 100u);
    EXPECT_NE(slurp("err").find("record size 4294967295 is impossible"), std::string::npos);
}

// Memory in proportion to the data, not to the decoder's worst case (160
// times the input), to the number of segments, nor to the largest input.
TEST(Dumps, WorkInThreeTimesTheMemoryOfInputAndOutput) {
    if (!limits_apply()) GTEST_SKIP() << "no address-space limit applies to this tool";
    const Bytes text = cmpr_test::log_text(24 << 20, 8);
    ASSERT_EQ(run({"compress", "--raw", "-o", path("big.own"), put("big", text)}), 0);
    const uint64_t kib = 3 * (std::filesystem::file_size(path("big.own")) + text.size()) / 1024;
    const How limited = {.ulimit = "-v " + std::to_string(kib)};
    for (const Args &cmd : {Args{"decompress", "--raw", "-qfo", path("back"), path("big.own")},
                            Args{"salvage", "-f", path("big.own"), path("back")}}) {
        EXPECT_EQ(run(cmd, {}, limited), 0) << slurp("err");
        EXPECT_TRUE(slurp<Bytes>("back") == text);
    }
    EXPECT_EQ(run({"inspect", path("big.own")}, {}, limited), 0) << slurp("err");
    // Millions of one-byte records: nothing kept per segment.
    const Bytes small = cmpr_test::log_text(3 << 20, 9);
    ASSERT_EQ(run({"compress", "--codec=own", "--record-size=1", "-o", path("tiny.cz"),
                   put("small", small)}),
              0);
    const uint64_t tiny_kib =
        3 * (std::filesystem::file_size(path("tiny.cz")) + small.size()) / 1024;
    const How tight = {.ulimit = "-v " + std::to_string(tiny_kib)};
    EXPECT_EQ(run({"inspect", "--json", path("tiny.cz")}, {}, tight), 0) << slurp("err");
    EXPECT_EQ(run({"salvage", "-f", path("tiny.cz"), path("back")}, {}, tight), 0) << slurp("err");
}
