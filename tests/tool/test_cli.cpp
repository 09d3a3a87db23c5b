// The cmpr tool as its users meet it: each test runs the built executable as
// a child process on files in a scratch directory and checks its exit status
// and what it wrote.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <zlib.h>

#include "support/support.h"

extern char **environ;

namespace {

using cmpr_test::Bytes;
using Args = std::vector<std::string>;

// This process's own scratch directory, removed at exit.
const std::string scratch = [] {
    static std::string dir = testing::TempDir() + "cmpr-tool-XXXXXX";
    if (mkdtemp(dir.data()) != nullptr) std::atexit([] { std::filesystem::remove_all(dir); });
    return dir + "/";
}();
const auto path = [](const std::string &name) { return scratch + name; };

template <class T = std::string>
T slurp(const std::string &name) {
    return T(std::istreambuf_iterator<char>(std::ifstream(path(name)).rdbuf()), {});
}

std::string put(const std::string &name, const Bytes &data) {
    std::ofstream(path(name), std::ios::binary) << std::string(data.begin(), data.end());
    return path(name);
}

// Runs the tool on 'args' then 'opts' and returns its exit status, -1 when it
// could not start or a signal ended it.  Its standard output and error go to
// the files "out" and "err", so that no pipe can fill up.  With 'limit_kib',
// a shell runs it under that limit of address space.
int run(Args args, const Args &opts = {}, uint64_t limit_kib = 0) {
    args.insert(args.end(), opts.begin(), opts.end());
    if (limit_kib != 0)
        args.insert(args.begin(),
                    {"-c", "ulimit -v " + std::to_string(limit_kib) + " && exec \"$0\" \"$@\"",
                     CMPR_TOOL_PATH});
    std::vector<char *> argv = {const_cast<char *>(limit_kib != 0 ? "/bin/sh" : CMPR_TOOL_PATH)};
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out = path("out"), err = path("err");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    int ws = -1;  // not "exited"
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0) waitpid(pid, &ws, 0);
    posix_spawn_file_actions_destroy(&fa);
    return WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
}

TEST(Tool, RoundTripsThroughFiles) {
    // The text's last 1000-byte record is 1 byte: a segment shorter than the
    // decoder's look-ahead, decoded only thanks to the zero bytes after it.
    const Args zlib, own = {"--codec", "own"}, records = {"--codec", "own", "--record-size=1000"};
    for (const auto &[compress, decompress] : {std::pair{zlib, zlib}, {own, own}, {records, own}})
        for (const Bytes &data : {cmpr_test::log_text(5001, 1), cmpr_test::random_bytes(4096, 2)}) {
            SCOPED_TRACE(testing::PrintToString(compress) + std::to_string(data.size()));
            ASSERT_EQ(run({"compress", put("in", data), path("z")}, compress), 0) << slurp("err");
            EXPECT_TRUE(compress != own || slurp<Bytes>("z") == cmpr_test::compress(data));
            ASSERT_EQ(run({"decompress", path("z"), path("back")}, decompress), 0) << slurp("err");
            EXPECT_EQ(slurp<Bytes>("back"), data);
        }
}

TEST(Tool, HostileInputFailsWithoutOutput) {
    ASSERT_EQ(run({"compress", put("in", cmpr_test::log_text(20000, 3)), path("good")}), 0);
    Bytes good = slurp<Bytes>("good"), bad_crc = good;
    bad_crc.at(9) ^= 1;
    // Empty, cut in the header, cut in the stream, wrong CRC; a corrupt distance
    // through the own codec.
    auto cut = [&](size_t n) { return Bytes(good.begin(), good.begin() + n); };
    const Bytes &distance = cmpr_test::kCorruptDistance;
    for (const Bytes &data : {Bytes{}, cut(7), cut(good.size() / 2), bad_crc, distance}) {
        SCOPED_TRACE(data.size());
        const Args opts = data == distance ? Args{"--codec", "own"} : Args{};
        EXPECT_EQ(run({"decompress", put("in", data), path("none")}, opts), 1);
        const std::string err = '\n' + slurp("err"), line = "\ncmpr: ";  // exactly one such line
        EXPECT_TRUE(err.find(line) != err.npos && err.find(line) == err.rfind(line)) << err;
        EXPECT_FALSE(std::filesystem::exists(path("none")));
    }
}

TEST(Tool, UsageErrorExits2AndCrc32PrintsChecksumAndName) {
    EXPECT_EQ(run({"compress", "--codec", "zip"}), 2);
    EXPECT_EQ(run({"crc32", put("nine", {'1', '2', '3', '4', '5', '6', '7', '8', '9'})}), 0);
    EXPECT_EQ(slurp("out"), "cbf43926  " + path("nine") + "\n");
}

}  // namespace

namespace {

// Segments joined as the daemon joins them: each zero-padded to a multiple
// of 4 bytes, four zero bytes at the end; 'at' gets each one's offset.
Bytes join(const std::vector<Bytes> &segments, std::vector<size_t> &at) {
    Bytes buf;
    for (const Bytes &s : segments) {
        at.push_back(buf.size());
        buf.insert(buf.end(), s.begin(), s.end());
        buf.resize((buf.size() + 3) / 4 * 4);
    }
    return buf + Bytes(4, 0);
}

}  // namespace

// What inspect says of a segment: "index, offsets, lengths, state[, bit]".
std::string row(size_t i, size_t in, size_t len, size_t pad, size_t out, size_t out_len,
                const std::string &state, long bit = -1) {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "{\"index\":%zu,\"in_offset\":%zu,\"in_length\":%zu,\"padding\":%zu,"
                  "\"out_offset\":%zu,\"out_length\":%zu,\"state\":\"%s\"",
                  i, in, len, pad, out, out_len, state.c_str());
    return buf + (bit < 0 ? "" : ",\"bit\":" + std::to_string(bit));
}

// Buffers built from known records and damaged in known ways: what inspect
// says of each (one JSON line), what salvage saves, and that decompress
// refuses them.
TEST(Tool, InspectAndSalvageFindTheDamageAndSaveTheRest) {
    std::vector<Bytes> recs, segs;
    for (int i = 0; i < 5; ++i) recs.push_back(cmpr_test::log_text(1000, 10 + i));
    for (const Bytes &r : recs) segs.push_back(cmpr_test::compress(r));
    auto saved_but = [&](size_t k, const Bytes &instead) {
        Bytes out;
        for (size_t i = 0; i < recs.size(); ++i) out = out + (i == k ? instead : recs[i]);
        return out;
    };
    std::vector<size_t> at, at2, at3, at4;
    const Bytes clean = join(segs, at), cut(clean.begin(), clean.end() - 40),
                noise = cmpr_test::random_bytes(64, 7);
    std::vector<Bytes> far = segs, before = segs,
                       small = {segs[0], cmpr_test::compress({'x'}), segs[1]};
    far[2] = cmpr_test::kCorruptDistance;
    before[3] = {0x85, 0x45, 0xc0, 0x92, 0x00, 0x00};  // q r, length 3 at distance 1033
    Bytes padded = clean, garbage = clean;
    padded[at[1] - 1] |= 0x80;
    garbage.insert(garbage.begin() + at[2], noise.begin(), noise.end());
    const Bytes with_far = join(far, at2), with_before = join(before, at3),
                with_small = join(small, at4);
    const std::string fill = "--fill=42";
    const struct {
        Bytes in;
        Args opts;
        std::string json;  // in inspect's output
        Bytes saved;
        bool decodes;  // decompress takes it
    } cases[] = {
        {clean,
         {},
         "\"damaged\":0,\"recoverable\":5000,\"tail\":{\"offset\":" +
             std::to_string(clean.size() - 4) + ",\"length\":4,\"kind\":\"zeros\"",
         saved_but(9, {}),
         true},
        {with_far,
         {},
         row(2, at2[2], 8, 0, 2000, 4, "far-distance", 8 * at2[2] + 24) + ",\"value\":8193",
         saved_but(2, {}),
         false},
        {with_far,
         {"--record-size=1000", fill},
         "\"state\":\"far-distance\"",
         saved_but(2, Bytes(1000, 42)),
         false},
        {with_before,
         {},
         row(3, at3[3], 8, 0, 3000, 5, "before-start", 8 * at3[3] + 37),
         saved_but(3, {}),
         false},
        {cut,
         {},
         row(4, at[4], cut.size() - at[4], 0, 4000, 933, "no-end", 8 * cut.size()),
         saved_but(4, {}),
         false},
        {clean + Bytes(4096, 0xFF), {}, "\"kind\":\"erased\"", saved_but(9, {}), false},
        {garbage,
         {},
         row(2, at[2], 64, 0, 2000, 0, "far-distance").substr(0, 60),
         saved_but(9, {}),
         false},
        {padded,
         {},
         row(0, 0, at[1], 0, 0, 1000, "padding", 8 * at[1] - 1),
         saved_but(0, {}),
         false},
        {with_small,
         {"--record-size=1000"},
         row(1, at4[1], 2, 2, 1000, 1, "record-size"),
         {},
         true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.json);
        const bool damaged = &c != &cases[0];
        Args inspect = {"inspect", "--json", put("in", c.in)},
             salvage = {"salvage", path("in"), path("saved")};
        for (const std::string &o : c.opts)
            (o == fill ? salvage : inspect).push_back(o), salvage.push_back(o);
        EXPECT_EQ(run(inspect), damaged);
        EXPECT_NE(slurp("out").find(c.json), std::string::npos) << slurp("out");
        EXPECT_EQ(run(salvage), damaged) << slurp("err");
        EXPECT_TRUE(c.saved.empty() || slurp<Bytes>("saved") == c.saved);
        EXPECT_EQ(run({"decompress", "--codec", "own", path("in"), path("back")}), !c.decodes);
    }
}

// Memory in proportion to the data, not to the decoder's worst case (160
// times the input) nor to the largest possible input.
TEST(Tool, WorksInThreeTimesTheMemoryOfInputAndOutput) {
    if (CMPR_TOOL_SANITIZED) GTEST_SKIP() << "sanitizers reserve more address space than any limit";
    const Bytes text = cmpr_test::log_text(24 << 20, 8);
    ASSERT_EQ(run({"compress", "--codec", "own", put("big", text), path("big.own")}), 0);
    const uint64_t kib = 3 * (std::filesystem::file_size(path("big.own")) + text.size()) / 1024;
    for (const Args &cmd : {Args{"decompress", "--codec", "own"}, Args{"salvage"}}) {
        EXPECT_EQ(run(cmd, {path("big.own"), path("back")}, kib), 0) << slurp("err");
        EXPECT_TRUE(slurp<Bytes>("back") == text);
    }
    EXPECT_EQ(run({"inspect", path("big.own")}, {}, kib), 0) << slurp("err");
}

TEST(Tool, InspectAndSalvageReadADamagedZlibStream) {
    const Bytes text = cmpr_test::log_text(50000, 5);
    uLongf n = compressBound(text.size());
    Bytes z(n);
    ASSERT_EQ(compress2(z.data(), &n, text.data(), text.size(), 1), Z_OK);
    z.resize(n);
    EXPECT_EQ(run({"inspect", "--json", put("in", Bytes(z.begin(), z.begin() + n / 2))}), 1);
    EXPECT_NE(slurp("out").find("\"kind\":\"zlib\",\"size\":" + std::to_string(n / 2) +
                                ",\"header\":true,\"complete\":false"),
              std::string::npos)
        << slurp("out");
    EXPECT_EQ(run({"salvage", path("in"), path("saved")}), 1);
    const Bytes saved = slurp<Bytes>("saved");
    EXPECT_TRUE(saved.size() > 20000 && Bytes(text.begin(), text.begin() + saved.size()) == saved);
}
