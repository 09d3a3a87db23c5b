// The tool's contract with a user, command by command: the exit status and
// the exact one-line message for each kind of bad input and bad usage, and
// inspect's JSON as the README documents it, parsed.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
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
    put("half.cz", Bytes(good.begin(), good.begin() + static_cast<ptrdiff_t>(good.size() / 2)));
    put("corrupt", cmpr_test::kCorruptDistance);
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
    EXPECT_EQ(run({"crc32", missing, path("text")}), 1);
    char crc[24];
    std::snprintf(crc, sizeof crc, "%08lx  ", crc32(0, text.data(), text.size()));
    EXPECT_EQ(slurp("out"), crc + path("text") + "\n");
    EXPECT_EQ(run({"decompress", "-o", path("none"), path("crc.cz")}), 1);
    EXPECT_FALSE(std::filesystem::exists(path("none")));
}

namespace {

// Every key of 'shape' is in 'j' with a value of the same type, or null
// where the shape says null is allowed (a value that is an array of the
// alternatives: [null, type]).  Objects are checked as deep as the shape goes.
void expect_shape(const Json &j, const Json &shape, const std::string &where) {
    for (const auto &[key, want] : shape.items()) {
        ASSERT_TRUE(j.contains(key)) << where << ": no " << key << " in " << j.dump();
        const Json &got = j[key];
        const Json &type =
            want.is_array() && want.size() == 2 && want[0].is_null() ? want[1] : want;
        if (got.is_null() && want.is_array() && want[0].is_null()) continue;
        EXPECT_EQ(got.type_name(), std::string(type.type_name())) << where << "." << key;
        if (type.is_object() && got.is_object()) expect_shape(got, type, where + "." + key);
    }
}

const Json kSegments = Json::parse(R"({"file": "", "kind": "", "size": 0, "checksum": true,
  "swapped": [null, 0], "looks_swapped": [null, 0], "record_size": [null, 0],
  "record_size_from": [null, ""], "record_size_votes": [null, {"segments": 0, "of": 0}],
  "regions": [], "map": {"slice": 0, "rows": []},
  "summary": {"regions": 0, "segments": 0, "clean": 0, "damaged": 0, "records": [null, 0],
    "recoverable": 0, "estimated_from": [null, 0], "writer_checked": true, "shifts": 0,
    "tail": {"offset": 0, "length": 0, "kind": ""}}})");
const Json kRegion = Json::parse(R"({
  "segment": {"in_offset": 0, "in_length": 0, "padding": 0, "out_offset": 0, "out_length": 0,
              "record": [null, 0], "state": "", "grid": [null, 0]},
  "damaged": {"in_offset": 0, "in_length": 0, "out_length": 0, "state": "", "bit": 0,
              "value": 0, "text": ""},
  "erased": {"in_offset": 0, "in_length": 0},
  "gap": {"in_offset": 0, "in_length": 0, "first_record": 0, "records": 0, "estimated": true}})");
const Json kZlib = Json::parse(R"({"file": "", "kind": "", "size": 0, "header": true,
  "complete": true, "inflated": 0, "adler32": "", "failed_at": [null, 0], "error": [null, ""],
  "trailing": [null, {"offset": 0, "length": 0}]})");

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
    for (const std::string file : {"rec.cz", "raw", "damaged"}) {
        SCOPED_TRACE(file);
        run({"inspect", "--json", path(file)});
        const Json j = Json::parse(slurp("out"));
        expect_shape(j, kSegments, file);
        for (const Json &r : j["regions"])
            if (kRegion.contains(r["kind"]))
                expect_shape(r, kRegion[r["kind"].get<std::string>()], file);
        EXPECT_EQ(j["kind"], file == "rec.cz" ? "cmpz" : "segments");
        EXPECT_EQ(j["record_size"], 4096);
        EXPECT_EQ(j["record_size_from"], file == "rec.cz" ? "header" : "inferred");
        EXPECT_EQ(j["summary"]["recoverable"],
                  file == "damaged" ? text.size() - 4096 : text.size());
        EXPECT_EQ(j["regions"][0]["in_offset"], file == "rec.cz" ? 17 : 0);
        EXPECT_TRUE(file != "rec.cz" || j["summary"]["crc32"] == "ok");
    }
    // A CRC-32 that one changed byte explains: where it lies, in which record.
    Bytes other = text, file = slurp<Bytes>("rec.cz");
    other[9000] ^= 0x20;
    const uLong crc = crc32(0, other.data(), static_cast<uInt>(other.size()));
    for (int i = 0; i < 4; ++i) file[9 + i] = static_cast<uint8_t>(crc >> 8 * i);
    EXPECT_EQ(run({"inspect", "--json", put("lone.cz", file)}), 1);
    EXPECT_EQ(Json::parse(slurp("out"))["summary"]["crc32_lone_byte"],
              Json::parse(R"({"offset": 9000, "record": 2})"));
    EXPECT_EQ(run({"salvage", "-f", path("lone.cz"), path("saved")}), 1);
    EXPECT_NE(said().find("output byte 0x00002328 in record 2"), std::string::npos) << said();
    const Bytes z = zlib_stream(text);
    put("zlib", z);
    put("cut", Bytes(z.begin(), z.begin() + static_cast<ptrdiff_t>(z.size() / 2)));
    for (const std::string file : {"zlib", "z.cz", "cut"}) {
        run({"inspect", "--json", path(file)});
        const Json j = Json::parse(slurp("out"));
        expect_shape(j, kZlib, file);
        EXPECT_EQ(j["complete"], file != "cut");
        EXPECT_EQ(j["inflated"] == text.size(), file != "cut");
        EXPECT_TRUE(file != "z.cz" || j["crc32"] == "ok");
    }
    // Of the cut stream salvage writes what came before the cut.
    EXPECT_EQ(run({"salvage", "-f", path("cut"), path("saved")}), 1);
    const Bytes saved = slurp<Bytes>("saved");
    EXPECT_TRUE(saved.size() > 1000 && std::equal(saved.begin(), saved.end(), text.begin()));
}
