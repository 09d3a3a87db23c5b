// The cmpr tool as its users meet it: each test runs the built executable as
// a child process with files in a scratch directory and checks its exit
// status, standard output and standard error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cmpr.h"
#include "support/bit_writer.h"
#include "support/shell_recorder.h"
#include "support/test_data.h"
#include "support/trace_capture.h"

extern char **environ;

namespace {

using cmpr_test::Bytes;

struct Outcome {
    int status;  // exit status, or -1 when the child died by a signal
    std::string out, err;
};

Bytes bytes_of(const std::string &s) {
    return Bytes(s.begin(), s.end());
}

size_t line_count(const std::string &s) {
    size_t n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

class Tool : public ::testing::Test {
   protected:
    void SetUp() override {
        const char *tmp = std::getenv("TMPDIR");
        std::string tmpl =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/cmpr-tool-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string path(const std::string &name) const { return dir_ + "/" + name; }

    std::string put(const std::string &name, const Bytes &data) const {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char *>(data.data()),
                   static_cast<std::streamsize>(data.size()));
        return path(name);
    }

    Bytes get(const std::string &name) const {
        std::ifstream f(path(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }

    // Runs the tool with 'args', standard input from 'in', and collects
    // standard output and standard error through files (no pipe to fill up).
    Outcome run(const std::vector<std::string> &args, const std::string &in = "/dev/null") const {
        std::vector<std::string> all = {CMPR_TOOL_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &a : all) argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 0, in.c_str(), O_RDONLY, 0);
        const std::string out = path(".stdout"), err = path(".stderr");
        posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = -1;
        int rc = posix_spawn(&pid, CMPR_TOOL_PATH, &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        EXPECT_EQ(rc, 0) << "cannot start " << CMPR_TOOL_PATH;
        int ws = 0;
        if (rc == 0) waitpid(pid, &ws, 0);
        Bytes o = get(".stdout"), e = get(".stderr");
        return Outcome{WIFEXITED(ws) ? WEXITSTATUS(ws) : -1, std::string(o.begin(), o.end()),
                       std::string(e.begin(), e.end())};
    }

    // Compresses 'data' through files and restores it, checking both steps.
    void round_trip(const Bytes &data) {
        const std::string in = put("in", data);
        Outcome c = run({"compress", in, path("in.z")});
        ASSERT_EQ(c.status, 0) << c.err;
        Outcome d = run({"decompress", path("in.z"), path("back")});
        ASSERT_EQ(d.status, 0) << d.err;
        EXPECT_TRUE(c.out.empty() && d.out.empty());
        EXPECT_EQ(get("back"), data);
    }

    std::string dir_;
};

// A file of the zlib codec: magic, method, claimed length and CRC-32 (both
// little-endian), then the payload.
Bytes container(uint8_t method, uint32_t len, uint32_t crc, const Bytes &payload) {
    Bytes b = {'C', 'M', 'P', 'Z', method};
    for (uint32_t v : {len, crc})
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

// What the library makes of 'in' in this process: the bytes, and how many
// corrupt distances it escalated.
struct Decoded {
    Bytes out;
    size_t corrupt;
};

Decoded decode_in_process(const Bytes &in) {
    cmpr_test::TraceCapture quiet;
    cmpr_test::shell_commands().clear();
    testing::internal::CaptureStderr();  // the decoder's own lines on corrupt distances
    Bytes out(CMPR_GZIP_DECMPRS_BOUND(in.size()));
    out.resize(gzip_decmprs(in.data(), static_cast<uint32_t>(in.size()), out.data()));
    testing::internal::GetCapturedStderr();
    return {out, cmpr_test::shell_commands().size()};
}

// How the tool must fail on bad data or files: exit status 1 (no signal),
// exactly one "cmpr: " line on stderr that mentions 'what', nothing on stdout.
void expect_clean_failure(const Outcome &r, const std::string &what) {
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.rfind("cmpr: ", 0), 0u) << r.err;
    EXPECT_EQ(line_count(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find(what), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST_F(Tool, RoundTripsFilesOfEverySize) {
    for (const Bytes &data :
         {Bytes{}, Bytes{'x'}, cmpr_test::log_text(100000, 1), cmpr_test::binary_records(50000, 2),
          cmpr_test::random_bytes(65536, 3)}) {
        SCOPED_TRACE(data.size());
        round_trip(data);
    }
    // Compressible input is really compressed, not stored.
    round_trip(cmpr_test::log_text(100000, 1));
    EXPECT_LT(get("in.z").size(), 50000u);
}

TEST_F(Tool, RoundTripsThroughStdinAndStdout) {
    for (const Bytes &data : {Bytes{}, cmpr_test::log_text(30000, 4)}) {
        const std::string in = put("in", data);
        Outcome c = run({"compress"}, in);
        ASSERT_EQ(c.status, 0) << c.err;
        // The bytes on stdout are exactly what a file would get.
        ASSERT_EQ(run({"compress", in, path("file.z")}).status, 0);
        EXPECT_EQ(bytes_of(c.out), get("file.z"));
        Outcome d = run({"decompress", "-"}, put("piped.z", bytes_of(c.out)));
        ASSERT_EQ(d.status, 0) << d.err;
        EXPECT_EQ(bytes_of(d.out), data);
    }
}

TEST_F(Tool, StoresInputThatDoesNotShrinkAndSaysSo) {
    const Bytes noise = cmpr_test::random_bytes(4096, 5);
    Outcome c = run({"compress", put("noise", noise), path("noise.z")});
    ASSERT_EQ(c.status, 0);
    EXPECT_EQ(line_count(c.err), 1u) << c.err;
    EXPECT_NE(c.err.find("stored"), std::string::npos) << c.err;
    EXPECT_EQ(get("noise.z").size(), noise.size() + 13);
    ASSERT_EQ(run({"decompress", path("noise.z"), path("back")}).status, 0);
    EXPECT_EQ(get("back"), noise);
}

TEST_F(Tool, Crc32MatchesKnownValues) {
    const std::string nine = put("nine", bytes_of("123456789"));
    const std::string fox = put("fox", bytes_of("The quick brown fox jumps over the lazy dog"));
    const std::string none = put("none", {});
    Outcome r = run({"crc32", nine, fox, none});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "cbf43926  " + nine + "\n414fa339  " + fox + "\n00000000  " + none + "\n");
    EXPECT_EQ(run({"crc32", "-"}, nine).out, "cbf43926  -\n");
    // Larger than one read of the tool: the pieces must chain.
    const Bytes big = cmpr_test::random_bytes(3 << 20, 6);
    char want[16];
    std::snprintf(want, sizeof want, "%08x", crc_gen(big.data(), static_cast<int32_t>(big.size())));
    EXPECT_EQ(run({"crc32", put("big", big)}).out.substr(0, 8), want);
}

TEST_F(Tool, Crc32GoesOnPastAMissingFile) {
    const std::string nine = put("nine", bytes_of("123456789"));
    Outcome r = run({"crc32", path("missing"), nine});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "cbf43926  " + nine + "\n");
    EXPECT_EQ(line_count(r.err), 1u);
    EXPECT_NE(r.err.find("No such file"), std::string::npos) << r.err;
}

TEST_F(Tool, HostileCompressedInputFailsCleanly) {
    // A good file to damage in different ways.
    const Bytes text = cmpr_test::log_text(20000, 7);
    ASSERT_EQ(run({"compress", put("good", text), path("good.z")}).status, 0);
    const Bytes good = get("good.z");
    ASSERT_EQ(good[4], 1);  // method zlib

    Bytes corrupt = good;
    for (size_t i = 100; i < 200; ++i) corrupt[i] = 0;
    Bytes longer = good;  // claims 10 bytes more than the stream holds
    longer[5] = static_cast<uint8_t>(longer[5] + 10);
    Bytes huge = {'C', 'M', 'P', 'Z', 1, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    huge.insert(huge.end(), good.begin() + 13, good.begin() + 40);
    Bytes stored_short = {'C', 'M', 'P', 'Z', 0, 100, 0, 0, 0, 0, 0, 0, 0, 'a', 'b'};
    Bytes unknown_method = good;
    unknown_method[4] = 9;
    const Bytes stream(good.begin() + 13, good.end());
    const uint32_t crc = crc_gen(text.data(), static_cast<int32_t>(text.size()));
    // Sizes the tool reads: 4 GiB - 1 bytes stored, refused from the sizes
    // alone; just within what zlib could reach from the stream (1032 bytes
    // per byte), where the room is reserved and the noise fails to decode,
    // and one byte beyond; fewer bytes than the stream holds.
    const Bytes noise = cmpr_test::random_bytes(1000, 17);
    const Bytes stored_huge = container(0, UINT32_MAX, 0, bytes_of("a"));
    const Bytes at_limit = container(1, 1032 * 1000, 0, noise);
    const Bytes past_limit = container(1, 1032 * 1000 + 1, 0, noise);
    const Bytes shorter = container(1, static_cast<uint32_t>(text.size() - 1), crc, stream);
    const Bytes bad_crc = container(1, static_cast<uint32_t>(text.size()), crc ^ 1, stream);
    const Bytes header_only = container(1, 0, 0, {});

    const struct {
        const char *name;
        Bytes data;
        const char *message;
    } cases[] = {
        {"empty", {}, "empty"},
        {"short-header", Bytes(good.begin(), good.begin() + 7), "truncated header"},
        {"bad-magic", bytes_of("plain text, never compressed"), "bad magic"},
        {"random", cmpr_test::random_bytes(4096, 8), "bad magic"},
        {"huge-claim", huge, "impossible"},
        {"unknown-method", unknown_method, "unknown method"},
        {"stored-short", stored_short, "stored data is 2 bytes"},
        {"truncated-stream", Bytes(good.begin(), good.end() - 30), "does not decode"},
        {"corrupt-stream", corrupt, "does not decode"},
        {"longer-claim", longer, "checksum mismatch"},
        {"zeros", Bytes(4096, 0), "bad magic"},
        {"magic-only", bytes_of("CMPZ"), "truncated header"},
        {"stored-huge-claim", stored_huge, "claims 4294967295 bytes"},
        {"claim-at-limit", at_limit, "does not decode"},
        {"claim-past-limit", past_limit, "impossible"},
        {"shorter-claim", shorter, "does not decode"},
        {"bad-checksum", bad_crc, "checksum mismatch"},
        {"header-only", header_only, "does not decode"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Outcome r = run({"decompress", put(c.name, c.data), path("out")});
        expect_clean_failure(r, c.message);
        EXPECT_FALSE(std::filesystem::exists(path("out"))) << "a failed decompress wrote output";
    }
}

TEST_F(Tool, TruncatedFilesFailCleanlyWhereverTheyEnd) {
    const Bytes text = cmpr_test::log_text(8000, 18);
    ASSERT_EQ(run({"compress", put("good", text), path("good.z")}).status, 0);
    const Bytes good = get("good.z");
    ASSERT_EQ(good[4], 1);
    std::vector<size_t> cuts;
    for (size_t n = 1; n <= 14; ++n) cuts.push_back(n);
    for (size_t n : {good.size() / 3, good.size() / 2, good.size() - 4, good.size() - 1})
        cuts.push_back(n);
    for (size_t n : cuts) {
        SCOPED_TRACE(n);
        Outcome r = run({"decompress", put("cut", Bytes(good.begin(), good.begin() + n))});
        // Too little stream for the claimed length is refused before decoding.
        const bool too_short = text.size() > 1032 * (n - 13);
        expect_clean_failure(r, n < 13      ? "truncated header"
                                : too_short ? "impossible"
                                            : "does not decode");
    }
    // Through a pipe, where the length is not known before reading.
    expect_clean_failure(run({"decompress"}, put("cut", Bytes(good.begin(), good.end() - 1))),
                         "does not decode");
    expect_clean_failure(run({"decompress"}, put("noise", cmpr_test::random_bytes(70000, 19))),
                         "bad magic");
}

TEST_F(Tool, TraceReportsNeverReachStdout) {
    const Bytes text = cmpr_test::log_text(20000, 9);
    ASSERT_EQ(run({"compress", put("good", text), path("good.z")}).status, 0);
    Bytes corrupt = get("good.z");
    for (size_t i = 100; i < 200; ++i) corrupt[i] = 0;
    const std::string bad = put("bad.z", corrupt);

    // The wrapper reports the failed inflate through the trace hook: silent
    // by default, on stderr with -v, and never among the data on stdout.
    expect_clean_failure(run({"decompress", bad}), "does not decode");
    Outcome v = run({"-v", "decompress", bad});
    EXPECT_EQ(v.status, 1);
    EXPECT_EQ(v.out, "");
    EXPECT_NE(v.err.find("decmprs_data-201"), std::string::npos) << v.err;
}

TEST_F(Tool, MissingFilesFailCleanly) {
    expect_clean_failure(run({"compress", path("missing")}), "No such file");
    expect_clean_failure(run({"decompress", path("missing")}), "No such file");
    expect_clean_failure(
        run({"compress", put("in", cmpr_test::log_text(5000, 12)), path("no/such/dir/out")}),
        "cannot create");
}

TEST_F(Tool, RefusesInputOver4GiB) {
    // A sparse file: the tool must refuse it from its size, without reading it.
    const std::string big = path("big");
    { std::ofstream(big).put('x'); }
    std::filesystem::resize_file(big, (uint64_t{1} << 32));
    expect_clean_failure(run({"compress", big}), "32 bits");
}

TEST_F(Tool, UsageErrorsExitWithStatus2) {
    EXPECT_EQ(run({}).status, 2);
    EXPECT_EQ(run({"squash"}).status, 2);
    EXPECT_EQ(run({"compress", "--level", "9"}).status, 2);
    EXPECT_EQ(run({"compress", "a", "b", "c"}).status, 2);
    EXPECT_EQ(run({"compress", "--record-size", "0", "--codec", "own"}).status, 2);
    EXPECT_EQ(run({"compress", "--record-size", "64"}).status, 2);  // zlib has no segments
    EXPECT_EQ(run({"compress", "--codec", "squeeze"}).status, 2);

    for (const char *help : {"--help", "help"}) {
        Outcome h = run({help});
        EXPECT_EQ(h.status, 0);
        EXPECT_EQ(h.out.rfind("Usage: cmpr", 0), 0u) << h.out;
    }
}

TEST_F(Tool, BenchMeasuresEveryCodecOnAGivenFile) {
    Outcome r =
        run({"bench", "--runs", "1", "--min-time", "1", put("log", cmpr_test::log_text(65536, 10)),
             put("noise", cmpr_test::random_bytes(8192, 11))});
    ASSERT_EQ(r.status, 0) << r.err;
    // A measured row for each codec on the text; the wrapper declines noise.
    EXPECT_NE(r.out.find("\n  cmpr-own        "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n  cmpr-zlib       "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n  zlib-1    "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cmpr-zlib  declined"), std::string::npos) << r.out;
}

TEST_F(Tool, OwnCodecWritesTheLibrarysSegmentAndRestoresIt) {
    for (const Bytes &data : {Bytes{}, Bytes{'x'}, cmpr_test::log_text(100000, 13),
                              cmpr_test::random_bytes(30000, 14)}) {
        SCOPED_TRACE(data.size());
        ASSERT_EQ(run({"compress", "--codec", "own", put("in", data), path("in.own")}).status, 0);
        Bytes want(CMPR_GZIP_CMPRS_BOUND(data.size()));
        want.resize(static_cast<size_t>(
            gzip_cmprs(data.data(), static_cast<uint32_t>(data.size()), want.data())));
        EXPECT_EQ(get("in.own"), want);
        Outcome d = run({"decompress", "--codec", "own", path("in.own"), path("back")});
        ASSERT_EQ(d.status, 0) << d.err;
        EXPECT_EQ(get("back"), data);
    }
}

TEST_F(Tool, OwnCodecRecordsAreJoinedAsAHostJoinsThem) {
    // The last record is 1 byte: its segment is shorter than the decoder's
    // look-ahead and is only decoded thanks to the zero bytes after it.
    const Bytes data = cmpr_test::log_text(3 * 4096 + 1, 15);
    ASSERT_EQ(run({"compress", "--codec", "own", "--record-size", "4096", put("in", data),
                   path("in.own")})
                  .status,
              0);
    const Bytes file = get("in.own");
    size_t at = 0;
    for (size_t pos = 0; pos < data.size(); pos += 4096) {
        Bytes seg(CMPR_GZIP_CMPRS_BOUND(4096));
        const size_t len = std::min<size_t>(4096, data.size() - pos);
        seg.resize(static_cast<size_t>(
            gzip_cmprs(data.data() + pos, static_cast<uint32_t>(len), seg.data())));
        ASSERT_LE(at + seg.size(), file.size());
        EXPECT_TRUE(std::equal(seg.begin(), seg.end(), file.begin() + static_cast<long>(at)))
            << pos;
        at = (at + seg.size() + 3) / 4 * 4;
    }
    EXPECT_EQ(file.size(), at + 4);
    EXPECT_TRUE(std::all_of(file.end() - 4, file.end(), [](uint8_t b) { return b == 0; }));

    Outcome d = run({"decompress", "--codec", "own", path("in.own"), path("back")});
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(get("back"), data);
}

TEST_F(Tool, OwnCodecTurnsACorruptDistanceIntoAnError) {
    // 'a', then a match of 3 at distance 8193: reported by the library and
    // counted by the tool, which decodes on but writes nothing.
    const Bytes bad = cmpr_test::BitWriter()
                          .sym('a')
                          .sym(257)
                          .dist(26)
                          .bits(1, 12)
                          .sym('z')
                          .end_segment()
                          .bytes();
    Outcome r = run({"decompress", "--codec", "own", put("bad", bad), path("out")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("invalid offset -> 8193"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("cmpr: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 corrupt distance"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(path("out")));
}

TEST_F(Tool, OwnCodecDecodesAnyBytesWithoutCrashing) {
    // Every byte sequence is a stream of this format: it decodes (zeros and
    // the empty file to nothing) or fails with corrupt distances, never worse.
    const struct {
        const char *name;
        Bytes data;
    } cases[] = {{"empty", {}},
                 {"zeros", Bytes(4096, 0)},
                 {"ones", Bytes(4096, 0xFF)},
                 {"random", cmpr_test::random_bytes(100000, 16)},
                 {"text", bytes_of("plain text, never compressed")}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Outcome r = run({"decompress", "--codec", "own", put(c.name, c.data), path("out")});
        EXPECT_TRUE(r.status == 0 || r.status == 1) << r.status << r.err;
        EXPECT_EQ(r.out, "");
        if (r.status == 1) {
            EXPECT_NE(r.err.find("corrupt distance"), std::string::npos) << r.err;
        }
    }
    for (const char *empty : {"empty", "zeros"}) {
        ASSERT_EQ(run({"decompress", "--codec", "own", path(empty), path("out")}).status, 0);
        EXPECT_TRUE(get("out").empty());
    }
}

}  // namespace

namespace {

TEST_F(Tool, OwnCodecDecodesDamagedFilesAsTheLibraryDoes) {
    // Segments of 1000-byte records, truncated or with eight bytes of noise
    // written over them: the tool writes exactly what the library decodes,
    // or, where that meets corrupt distances, fails without output.
    const Bytes text = cmpr_test::log_text(6000, 20);
    ASSERT_EQ(run({"compress", "--codec", "own", "--record-size", "1000", put("in", text),
                   path("good.own")})
                  .status,
              0);
    const Bytes good = get("good.own");
    std::vector<std::pair<std::string, Bytes>> damaged;
    for (size_t n :
         {size_t{1}, size_t{3}, size_t{5}, good.size() / 2, good.size() - 5, good.size() - 1})
        damaged.emplace_back("cut-" + std::to_string(n), Bytes(good.begin(), good.begin() + n));
    const Bytes noise = cmpr_test::random_bytes(12 * 8, 21);
    for (size_t i = 0; i < 12; ++i) {
        Bytes patched = good;
        const size_t at = (noise[i * 8] * 131 + i * 977) % (patched.size() - 8);
        std::copy_n(noise.begin() + static_cast<long>(i * 8), 8,
                    patched.begin() + static_cast<long>(at));
        damaged.emplace_back("patch-" + std::to_string(i), patched);
    }
    size_t failed = 0;
    for (const auto &[name, data] : damaged) {
        SCOPED_TRACE(name);
        const Decoded want = decode_in_process(data);
        Outcome r = run({"decompress", "--codec", "own", put(name, data), path("out")});
        if (want.corrupt == 0) {
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_TRUE(get("out") == want.out);
        } else {
            ++failed;
            EXPECT_EQ(r.status, 1);
            EXPECT_NE(r.err.find(std::to_string(want.corrupt) + " corrupt distance"),
                      std::string::npos)
                << r.err;
            EXPECT_FALSE(std::filesystem::exists(path("out")));
        }
        std::filesystem::remove(path("out"));
    }
    // Both outcomes were seen.
    EXPECT_GT(failed, 0u);
    EXPECT_LT(failed, damaged.size());
}

TEST_F(Tool, OwnCodecRestoresTheWorstCaseExpansionExactly) {
    // Every 13 bits a 258-byte match (symbol 285, distance 1), and a last
    // match whose distance code lies past the end of the file: 8126 bytes
    // that stand for exactly the documented worst case, 258 * (8n/13 + 1),
    // all 0xFF (the bytes before the first one).
    cmpr_test::BitWriter w;
    for (int i = 0; i < 5000; ++i) w.sym(285).dist(0);
    const Bytes bomb = w.sym(285).bytes();
    ASSERT_EQ(bomb.size(), 8126u);
    const uint64_t bound = CMPR_GZIP_DECMPRS_BOUND(bomb.size());
    ASSERT_EQ(bound, 258u * 5001);

    Outcome r = run({"decompress", "--codec", "own", put("bomb", bomb), path("out")});
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes out = get("out");
    EXPECT_EQ(out.size(), bound);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xFF; }));
}

}  // namespace
