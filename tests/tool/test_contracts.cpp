// The tool's contract with a user, command by command: the exit status and
// the exact one-line message for each kind of bad input and bad usage, and
// inspect's JSON as the README documents it, parsed.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tool_run.h"

using namespace tool_test;
using Json = nlohmann::json;

TEST(Contracts, EachCommandFailsEachBadInputInOneLine) {
    const Bytes text = cmpr_test::log_text(6000, 21);
    ASSERT_EQ(run({"compress", "-fo", path("good.cz"), put("text", text)}), 0);
    const Bytes good = slurp<Bytes>("good.cz");
    Bytes bad_crc = good, unknown = good;
    bad_crc[9] ^= 1;
    unknown[4] = 9;
    put("empty", {});
    put("cut.cz", Bytes(good.begin(), good.begin() + 7));
    put("crc.cz", bad_crc);
    put("method.cz", unknown);
    put("plain", text);
    const std::string missing = path("missing"), dir = path("dir");
    std::filesystem::create_directories(dir);
    const struct {
        Args cmd;
        int status;
        std::string said;  // "" where only the status and one line are held
    } cases[] = {
        {{"decompress", "-c", missing}, 1, missing + ": No such file or directory\n"},
        {{"test", path("empty")}, 1, path("empty") + ": empty, not a cmpr file\n"},
        {{"test", path("cut.cz")}, 1, path("cut.cz") + ": truncated header (7 of 13 bytes)\n"},
        {{"test", path("method.cz")}, 1, path("method.cz") + ": unknown method 9 in the header\n"},
        {{"test", path("crc.cz")},
         1,
         path("crc.cz") + ": CRC-32 mismatch: the restored data is damaged\n"},
        {{"test", path("plain")},
         1,
         path("plain") + ": not a cmpr file (no CMPZ magic); bare own-codec segments need --raw\n"},
        {{"list", path("plain")}, 1, ""},
        {{"decompress", path("plain")},
         1,
         path("plain") + ": does not end in .cz; left alone (-c or -o names the output)\n"},
        {{"compress", path("good.cz")}, 1, path("good.cz") + ": already ends in .cz; left alone\n"},
        {{"compress", "-o", path("good.cz"), path("text")},
         1,
         path("good.cz") + ": already exists; not overwritten (-f overwrites)\n"},
        {{"inspect", missing}, 1, missing + ": No such file or directory\n"},
        {{"crc32", missing}, 1, missing + ": No such file or directory\n"},
        {{"salvage", "-f", missing, path("out")}, 1, missing + ": No such file or directory\n"},
        {{"salvage", path("good.cz"), path("text")},
         1,
         path("text") + ": already exists; not overwritten (-f overwrites)\n"},
        {{"salvage", path("good.cz")}, 2, "salvage takes an input and an output file\n"},
        {{"compress", "--codec", "zip"}, 2, "unknown codec 'zip' (known: zlib, own)\n"},
        {{"inspect", "--swap", "8"}, 2, "option --swap wants 16 or 32, not '8'\n"},
        {{"salvage", "--fill", "256", "a", "b"},
         2,
         "option --fill wants a whole number from 0 to 255, not '256'\n"},
        {{"salvage", "--fill", "0", "--keep-damaged", "a", "b"},
         2,
         "--fill goes without --keep-damaged\n"},
        {{"inspect", "--keep-damaged"}, 2, ""},
        {{"frobnicate"}, 2, "unknown command 'frobnicate'; try 'cmpr --help'\n"},
        {{}, 2, "no command given; try 'cmpr --help'\n"},
        {{"test", "--record-size", "0"}, 2, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.cmd));
        EXPECT_EQ(run(c.cmd), c.status);
        EXPECT_TRUE(one_line(slurp("err"))) << slurp("err");
        EXPECT_TRUE(c.said.empty() || said() == c.said) << said();
    }
    // A failed input leaves the others done, and no output file behind.
    EXPECT_EQ(run({"test", missing, path("good.cz")}), 1);
    EXPECT_EQ(run({"decompress", "-o", path("none"), path("crc.cz")}), 1);
    EXPECT_FALSE(std::filesystem::exists(path("none")));
}

namespace {

// The keys of 'j' and the type each holds (null allowed where 'nullable').
void expect_keys(const Json &j, const std::vector<std::pair<std::string, Json::value_t>> &keys,
                 const std::string &where) {
    for (const auto &[key, type] : keys) {
        ASSERT_TRUE(j.contains(key)) << where << ": no " << key << " in " << j.dump();
        EXPECT_TRUE(j[key].is_null() || j[key].type() == type) << where << "." << key;
    }
}

constexpr auto kStr = Json::value_t::string, kNum = Json::value_t::number_unsigned,
               kBool = Json::value_t::boolean, kObj = Json::value_t::object,
               kArr = Json::value_t::array;

}  // namespace

// inspect --json for each kind of input: the keys and types the README
// gives, and the facts behind them.
TEST(Contracts, InspectJsonHasTheDocumentedShape) {
    const Bytes text = cmpr_test::log_text(5 * 4096 + 808, 22);
    ASSERT_EQ(run({"compress", "--codec=own", "--record-size=4096", "-fo", path("rec.cz"),
                   put("text", text)}),
              0);
    ASSERT_EQ(run({"compress", "-fo", path("z.cz"), path("text")}), 0);
    ASSERT_EQ(run({"compress", "--raw", "--record-size=4096", "-fo", path("raw"), path("text")}),
              0);
    Bytes damaged = slurp<Bytes>("raw");
    const Bytes erased(64, 0xFF);
    damaged.insert(damaged.begin() + 100, erased.begin(), erased.end());
    put("damaged", damaged);
    put("zlib", zlib_stream(text));
    for (const std::string file : {"rec.cz", "raw", "damaged"}) {
        SCOPED_TRACE(file);
        run({"inspect", "--json", path(file)});
        const Json j = Json::parse(slurp("out"));
        expect_keys(j,
                    {{"file", kStr},
                     {"kind", kStr},
                     {"size", kNum},
                     {"checksum", kBool},
                     {"swapped", kNum},
                     {"looks_swapped", kNum},
                     {"record_size", kNum},
                     {"record_size_from", kStr},
                     {"record_size_votes", kObj},
                     {"regions", kArr},
                     {"summary", kObj},
                     {"map", kObj}},
                    "top");
        EXPECT_EQ(j["kind"], file == "rec.cz" ? "cmpz" : "segments");
        EXPECT_EQ(j["record_size"], 4096);
        EXPECT_EQ(j["record_size_from"], file == "rec.cz" ? "header" : "inferred");
        for (const Json &r : j["regions"]) {
            expect_keys(r, {{"kind", kStr}, {"in_offset", kNum}, {"in_length", kNum}}, "region");
            if (r["kind"] == "segment")
                expect_keys(r,
                            {{"padding", kNum},
                             {"out_offset", kNum},
                             {"out_length", kNum},
                             {"record", kNum},
                             {"state", kStr},
                             {"grid", kNum}},
                            "segment");
            if (r["kind"] == "damaged")
                expect_keys(r,
                            {{"out_length", kNum},
                             {"state", kStr},
                             {"bit", kNum},
                             {"value", kNum},
                             {"text", kStr}},
                            "damaged");
            if (r["kind"] == "gap")
                expect_keys(r, {{"first_record", kNum}, {"records", kNum}, {"estimated", kBool}},
                            "gap");
        }
        expect_keys(j["summary"],
                    {{"regions", kNum},
                     {"segments", kNum},
                     {"clean", kNum},
                     {"damaged", kNum},
                     {"records", kNum},
                     {"recoverable", kNum},
                     {"estimated_from", kNum},
                     {"writer_checked", kBool},
                     {"shifts", kNum},
                     {"tail", kObj}},
                    "summary");
        expect_keys(j["summary"]["tail"], {{"offset", kNum}, {"length", kNum}, {"kind", kStr}},
                    "tail");
        expect_keys(j["map"], {{"slice", kNum}, {"rows", kArr}}, "map");
        const bool clean = file != "damaged";
        EXPECT_EQ(j["summary"]["recoverable"], clean ? text.size() : text.size() - 4096)
            << j["summary"].dump();
        EXPECT_EQ(j["regions"].back()["kind"] == "segment" || !clean, true);
        EXPECT_TRUE(file != "rec.cz" || j["summary"]["crc32"] == "ok");
    }
    for (const std::string file : {"zlib", "z.cz"}) {
        run({"inspect", "--json", path(file)});
        const Json j = Json::parse(slurp("out"));
        expect_keys(j,
                    {{"file", kStr},
                     {"kind", kStr},
                     {"size", kNum},
                     {"header", kBool},
                     {"complete", kBool},
                     {"inflated", kNum},
                     {"adler32", kStr},
                     {"failed_at", kNum},
                     {"error", kStr},
                     {"trailing", kObj}},
                    file);
        EXPECT_EQ(j["inflated"], text.size());
        EXPECT_EQ(j["adler32"], "ok");
        EXPECT_TRUE(file != "z.cz" || j["crc32"] == "ok");
    }
}
