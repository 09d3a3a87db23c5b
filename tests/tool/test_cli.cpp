// The cmpr tool as its users meet it: each test runs the built executable as
// a child process on files in a scratch directory and checks its exit status
// and what it wrote.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

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

// How a child runs: under a shell's ulimit ("-v KIB", "-f BLOCKS"), with
// standard input from a descriptor, standard output on a descriptor of ours.
struct How {
    std::string ulimit = {};
    int in_fd = -1;
    int out_fd = -1;  // else the file "out"
};

// Starts the tool on 'args'; its standard output and error go to the files
// "out" and "err", so that no pipe can fill up.
pid_t spawn(Args args, const How &how = {}) {
    if (!how.ulimit.empty())
        args.insert(args.begin(),
                    {"-c", "ulimit " + how.ulimit + " && exec \"$0\" \"$@\"", CMPR_TOOL_PATH});
    std::vector<char *> argv = {
        const_cast<char *>(how.ulimit.empty() ? CMPR_TOOL_PATH : "/bin/sh")};
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out = path("out"), err = path("err");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (how.in_fd >= 0) posix_spawn_file_actions_adddup2(&fa, how.in_fd, 0);
    if (how.out_fd >= 0)
        posix_spawn_file_actions_adddup2(&fa, how.out_fd, 1);
    else
        posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// zlib's level-1 stream of 'data', as the library's wrapper writes it.
Bytes zlib_stream(const Bytes &data) {
    uLongf n = compressBound(data.size());
    Bytes z(n);
    EXPECT_EQ(compress2(z.data(), &n, data.data(), data.size(), 1), Z_OK);
    z.resize(n);
    return z;
}

// A cmpr file of method 0 (stored) or 1 (zlib) holding 'text', as earlier
// versions wrote it, and 'after' it.
Bytes cmpz_file(uint8_t method, const Bytes &text, const Bytes &after = {}) {
    Bytes f = {'C', 'M', 'P', 'Z', method};
    for (uLong v : {uLong(text.size()), crc32(0, text.data(), text.size())})
        for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>(v >> 8 * i));
    return f + (method == 1 ? zlib_stream(text) : text) + after;
}

// The one line of standard error, without its "cmpr: ".
std::string said() {
    const std::string err = slurp("err");
    return err.starts_with("cmpr: ") ? err.substr(6) : err;
}

// Runs the tool on 'args' then 'opts' and returns its exit status, -1 when it
// could not start or a signal ended it.
int run(Args args, const Args &opts = {}, const How &how = {}) {
    args.insert(args.end(), opts.begin(), opts.end());
    int ws = -1;  // not "exited"
    if (const pid_t pid = spawn(args, how); pid > 0) waitpid(pid, &ws, 0);
    return WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
}

// Whether an address-space limit can apply to the tool at all: a sanitizer
// reserves its shadow memory beyond any, and an emulator (qemu running a
// 32-bit tool through binfmt_misc) its guest's whole address space.
bool limits_apply() {
    static const bool apply =
        !CMPR_TOOL_SANITIZED && run({"--version"}, {}, {.ulimit = "-v 262144"}) == 0;
    return apply;
}

// A failure says so in exactly one line.
bool one_line(const std::string &err) {
    return err.starts_with("cmpr: ") && std::count(err.begin(), err.end(), '\n') == 1;
}

TEST(Tool, RoundTripsThroughFiles) {
    // Every method of the file, and bare segments.  The text's last
    // 1000-byte record is 1 byte: a segment shorter than the decoder's
    // look-ahead, decoded only thanks to the zero bytes after it.
    const Args zlib, own = {"--codec", "own"}, records = {"--codec", "own", "--record-size=1000"},
                     raw = {"--raw"}, raw_records = {"--raw", "--record-size=1000"};
    for (const Args &opts : {zlib, own, records, raw, raw_records})
        for (const Bytes &data : {cmpr_test::log_text(5001, 1), cmpr_test::random_bytes(4096, 2)}) {
            SCOPED_TRACE(testing::PrintToString(opts) + std::to_string(data.size()));
            ASSERT_EQ(run({"compress", "-fo", path("z"), put("in", data)}, opts), 0)
                << slurp("err");
            EXPECT_TRUE(opts != raw || slurp<Bytes>("z") == cmpr_test::compress(data));
            const Args back = opts.empty() || opts[0] != "--raw" ? Args{} : raw;
            ASSERT_EQ(run({"decompress", "-fo", path("back"), path("z")}, back), 0) << slurp("err");
            EXPECT_EQ(slurp<Bytes>("back"), data);
        }
}

TEST(Tool, HostileInputFailsWithoutOutput) {
    ASSERT_EQ(run({"compress", "-o", path("good"), put("in", cmpr_test::log_text(20000, 3))}), 0);
    Bytes good = slurp<Bytes>("good"), bad_crc = good;
    bad_crc.at(9) ^= 1;
    // Empty, cut in the header, cut in the stream, wrong CRC; a corrupt distance
    // in bare segments.
    auto cut = [&](size_t n) { return Bytes(good.begin(), good.begin() + n); };
    const Bytes &distance = cmpr_test::kCorruptDistance;
    for (const Bytes &data : {Bytes{}, cut(7), cut(good.size() / 2), bad_crc, distance}) {
        SCOPED_TRACE(data.size());
        const Args opts = data == distance ? Args{"--raw", "-q"} : Args{};
        EXPECT_EQ(run({"decompress", "-o", path("none"), put("in", data)}, opts), 1);
        EXPECT_TRUE(one_line(slurp("err"))) << slurp("err");
        EXPECT_FALSE(std::filesystem::exists(path("none")));
    }
}

TEST(Tool, UsageErrorExits2AndCrc32PrintsChecksumAndName) {
    EXPECT_EQ(run({"compress", "--codec", "zip"}), 2);
    EXPECT_EQ(run({"crc32", put("nine", {'1', '2', '3', '4', '5', '6', '7', '8', '9'})}), 0);
    EXPECT_EQ(slurp("out"), "cbf43926  " + path("nine") + "\n");
}

// Several inputs, each to NAME.cz beside it and back; an existing output
// refused for its input alone, or replaced with -f; --rm; a name without the
// suffix refused; standard input to standard output.
TEST(Tool, FollowsTheHabitsOfGzipAndZstd) {
    const Bytes a = cmpr_test::log_text(3000, 4), b = cmpr_test::log_text(2000, 5);
    put("a", a), put("b", b), put("b.cz", {'x'});
    EXPECT_EQ(run({"compress", path("a"), path("b")}), 1);
    EXPECT_TRUE(one_line(slurp("err")) && slurp("err").find("b.cz") != std::string::npos);
    EXPECT_EQ(slurp("b.cz"), "x");
    EXPECT_EQ(run({"compress", "-f", "--rm", path("b")}), 0);
    EXPECT_FALSE(std::filesystem::exists(path("b")));
    EXPECT_EQ(run({"decompress", "--rm", path("a.cz"), path("a"), path("b.cz")}), 1);
    const std::string err = slurp("err");
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
    EXPECT_TRUE(std::filesystem::exists(path("a.cz")) && !std::filesystem::exists(path("b.cz")));
    EXPECT_EQ(slurp<Bytes>("b"), b);
    const int in = open(path("a.cz").c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(run({"-dq"}, {}, {.in_fd = in}), 0);
    close(in);
    EXPECT_EQ(slurp<Bytes>("out"), a);
}

// Compressed data goes to a terminal only with -f; restored data always may.
TEST(Tool, WritesCompressedDataToATerminalOnlyWhenForced) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const int tty = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(tty, 0);
    put("t", cmpr_test::log_text(1000, 6));
    EXPECT_EQ(run({"compress", "-c", path("t")}, {}, {.out_fd = tty}), 1);
    EXPECT_TRUE(one_line(slurp("err"))) << slurp("err");
    EXPECT_EQ(run({"compress", "-cf", path("t")}, {}, {.out_fd = tty}), 0);
    EXPECT_EQ(run({"compress", path("t")}), 0);
    EXPECT_EQ(run({"decompress", "-c", path("t.cz")}, {}, {.out_fd = tty}), 0);
    close(tty);
    close(master);
}

// Good files of each method and bare segments pass test and list their
// facts; a flipped byte in the data fails test (list reads only the header),
// a cut header fails both, with one line.
TEST(Tool, TestAndListTellGoodFilesFromDamagedOnes) {
    const Bytes text = cmpr_test::log_text(20000, 7), noise = cmpr_test::random_bytes(3000, 7);
    const struct {
        Args opts;
        const Bytes &data;
        std::string method;
    } cases[] = {
        {{}, text, "zlib"},
        {{}, noise, "stored"},
        {{"--codec=own"}, text, "own"},
        {{"--codec=own", "--record-size=4096"}, text, "own-records"},
        {{"--raw"}, text, "raw"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.method);
        const bool raw = c.method == "raw";
        const Args opts = raw ? Args{"-q", "--raw"} : Args{"-q"};
        ASSERT_EQ(run({"compress", "-fo", path("f.cz"), put("in", c.data)}, c.opts), 0);
        const Bytes good = slurp<Bytes>("f.cz");
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08lx", crc32(0, c.data.data(), c.data.size()));
        const std::string facts = std::to_string(good.size()) + " " +
                                  std::to_string(c.data.size()) + " " + (raw ? "-" : crc);
        EXPECT_EQ(run({"test", path("f.cz")}, opts), 0) << slurp("err");
        EXPECT_EQ(run({"list", path("f.cz")}, opts), 0) << slurp("err");
        std::istringstream row(slurp("out").substr(slurp("out").find('\n')));
        std::string method, size, original, ratio, sum;
        row >> method >> size >> original >> ratio >> sum;
        EXPECT_EQ(method + " " + size + " " + original + " " + sum, c.method + " " + facts);
        if (c.method.starts_with("own")) {  // inspect counts the segments' offsets in the file
            EXPECT_EQ(run({"inspect", "--json", path("f.cz")}), 0);
            const std::string json = slurp("out"), first = c.method == "own" ? "13" : "17";
            EXPECT_NE(json.find("\"crc32\":\"ok\""), std::string::npos) << json;
            EXPECT_NE(json.find("\"segments\":[{\"index\":0,\"in_offset\":" + first + ","),
                      std::string::npos)
                << json;
        }
        Bytes flipped = good;
        flipped[flipped.size() / 2] ^= 0x10;
        for (const Bytes &bad : {Bytes(good.begin(), good.begin() + 10), flipped}) {
            if (raw && &bad != &good && bad == flipped) continue;  // may leave no sign
            const bool header = bad.size() == 10;
            EXPECT_EQ(run({"test", put("f.cz", bad)}, opts), 1);
            EXPECT_TRUE(one_line(slurp("err"))) << slurp("err");
            EXPECT_EQ(run({"list", path("f.cz")}, opts), header ? 1 : 0) << slurp("err");
        }
    }
}

// Files written before the own codec had a place in the header: the same
// layout, methods 0 and 1.
TEST(Tool, ReadsFilesOfTheEarlierFormat) {
    const Bytes text = cmpr_test::log_text(10000, 9);
    for (const uint8_t method : {1, 0}) {
        ASSERT_EQ(run({"decompress", "-c", put("old.cz", cmpz_file(method, text))}), 0)
            << slurp("err");
        EXPECT_TRUE(slurp<Bytes>("out") == text);
    }
}

// A full disk (a file size limit: the write fails) and an interrupt leave
// neither the output nor its temporary file.
TEST(Tool, LeavesNoFileAfterAFailure) {
    const std::string dir = path("full/");
    std::filesystem::create_directory(dir);
    put("full/in", cmpr_test::random_bytes(64 << 10, 10));
    auto files = [&] {
        std::vector<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(dir))
            names.push_back(e.path().filename());
        return names;
    };
    EXPECT_EQ(run({"compress", "-q", dir + "in"}, {}, {.ulimit = "-f 16"}), 1);
    EXPECT_TRUE(one_line(slurp("err"))) << slurp("err");
    EXPECT_EQ(files(), std::vector<std::string>{"in"});
    int fds[2];  // standard input that never ends: the tool waits, its output begun
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    const pid_t pid = spawn({"compress", "-o", dir + "out.cz"}, {.in_fd = fds[0]});
    for (int i = 0; i < 500 && files().size() < 2; ++i) usleep(10000);
    EXPECT_EQ(files().size(), 2u);
    kill(pid, SIGTERM);
    int ws = 0;
    waitpid(pid, &ws, 0);
    close(fds[0]), close(fds[1]);
    EXPECT_TRUE(WIFSIGNALED(ws) && WTERMSIG(ws) == SIGTERM);
    EXPECT_EQ(files(), std::vector<std::string>{"in"});
}

// The help fits 80 columns; the manual page names every command and option
// that the help names: the first word of a line indented by two spaces, and
// every word that starts with a dash and a letter.
TEST(Tool, HelpFitsAndTheManualPageKeepsUp) {
    ASSERT_EQ(run({"--help"}), 0);
    const std::string roff(std::istreambuf_iterator<char>(std::ifstream(CMPR_MAN_PAGE).rdbuf()),
                           {});
    std::string man;  // without roff's escapes: \- for a dash, \fB and the like for fonts
    for (size_t i = 0; i < roff.size(); ++i)
        if (roff.compare(i, 2, "\\-") == 0)
            man += '-', i += 1;
        else if (roff.compare(i, 2, "\\f") == 0)
            i += 2;
        else
            man += roff[i];
    const char *letters = "-abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::istringstream help(slurp("out"));
    for (std::string line; std::getline(help, line);) {
        EXPECT_LE(line.size(), 80u) << line;
        std::vector<std::string> names;
        if (line.starts_with("  ") && std::islower(static_cast<unsigned char>(line[2])))
            names.push_back(line.substr(2, line.find_first_of(" ,", 2) - 2));
        std::istringstream words(line);
        for (std::string w; words >> w;) {
            w.erase(0, w.find_first_not_of("[(|"));
            const size_t dashes = w.find_first_not_of('-');
            if (dashes >= 1 && dashes <= 2 && std::isalpha(static_cast<unsigned char>(w[dashes])))
                names.push_back(w.substr(0, w.find_first_not_of(letters)));
        }
        for (const std::string &n : names) EXPECT_NE(man.find(n), std::string::npos) << n;
    }
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
             salvage = {"salvage", "-f", path("in"), path("saved")};
        for (const std::string &o : c.opts)
            (o == fill ? salvage : inspect).push_back(o), salvage.push_back(o);
        EXPECT_EQ(run(inspect), damaged);
        EXPECT_NE(slurp("out").find(c.json), std::string::npos) << slurp("out");
        EXPECT_EQ(run(salvage), damaged) << slurp("err");
        EXPECT_TRUE(c.saved.empty() || slurp<Bytes>("saved") == c.saved);
        EXPECT_EQ(run({"decompress", "--raw", "-qfo", path("back"), path("in")}), !c.decodes);
    }
    // A segment whose end code ends its last 4-byte word, with no zero bit
    // after it: not as the compressor writes it, but as the decoder takes it.
    std::vector<size_t> at5;
    const Bytes abc = cmpr_test::compress({'A', 'B', 200});  // 32 bits, then the zero bit
    const Bytes tight = join({Bytes(abc.begin(), abc.begin() + 4), segs[0]}, at5);
    EXPECT_EQ(run({"inspect", "--json", put("in", tight)}), 0);
    EXPECT_NE(slurp("out").find(row(0, 0, 4, 0, 0, 3, "clean")), std::string::npos) << slurp("out");
    EXPECT_EQ(run({"salvage", "-f", path("in"), path("saved")}), 0) << slurp("err");
    EXPECT_EQ(slurp<Bytes>("saved"), Bytes({'A', 'B', 200}) + recs[0]);
}

// Memory in proportion to the data, not to the decoder's worst case (160
// times the input) nor to the largest possible input.
TEST(Tool, WorksInThreeTimesTheMemoryOfInputAndOutput) {
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
}

TEST(Tool, InspectAndSalvageReadADamagedZlibStream) {
    const Bytes text = cmpr_test::log_text(50000, 5), z = zlib_stream(text);
    const size_t n = z.size();
    EXPECT_EQ(run({"inspect", "--json", put("in", Bytes(z.begin(), z.begin() + n / 2))}), 1);
    EXPECT_NE(slurp("out").find("\"kind\":\"zlib\",\"size\":" + std::to_string(n / 2) +
                                ",\"header\":true,\"complete\":false"),
              std::string::npos)
        << slurp("out");
    EXPECT_EQ(run({"salvage", "-f", path("in"), path("saved")}), 1);
    const Bytes saved = slurp<Bytes>("saved");
    EXPECT_TRUE(saved.size() > 20000 && Bytes(text.begin(), text.begin() + saved.size()) == saved);
}

// Every command that writes a named output writes through a device node, a
// FIFO or a link to one of them, leaving it in place; it replaces neither a
// link to a file (nor that file) nor a directory.
TEST(Tool, WritesThroughDevicesAndFifosAndLeavesLinksAndDirectories) {
    const Bytes text = cmpr_test::log_text(3000, 11);
    put("text", text), put("text.cz", cmpz_file(1, text));
    const std::string o = path("o"), f = path("f"),
                      link = "is a symbolic link; neither it nor the file it points to is replaced";
    using std::filesystem::file_type;
    const struct {
        std::function<bool()> make;  // false: not possible here (a device node needs privileges)
        file_type stays;
        std::string refused = {};  // "": written through
    } cases[] = {
        {[&] { return mkfifo(o.c_str(), 0600) == 0; }, file_type::fifo},
        {[&] { return mkfifo(f.c_str(), 0600) == 0 && symlink("f", o.c_str()) == 0; },
         file_type::symlink},
        {[&] { return mknod(o.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0; },  // null device
         file_type::character},
        {[&] { return symlink("ref", o.c_str()) == 0; }, file_type::symlink, link},
        {[&] { return symlink("none", o.c_str()) == 0; }, file_type::symlink, link},
        {[&] { return mkdir(o.c_str(), 0700) == 0; }, file_type::directory,
         "is a directory; not replaced"},
    };
    for (Args cmd : {Args{"decompress", "-fo", "@", path("text.cz")},
                     Args{"compress", "-fo", "@", path("text")},
                     Args{"salvage", "-f", path("text.cz"), "@"}}) {
        const auto out = std::find(cmd.begin(), cmd.end(), "@");
        *out = path("ref");
        ASSERT_EQ(run(cmd), 0) << slurp("err");
        const Bytes ref = slurp<Bytes>("ref");
        *out = o;
        for (const auto &c : cases) {
            SCOPED_TRACE(cmd[0] + " " + std::to_string(&c - cases));
            std::filesystem::remove_all(o), std::filesystem::remove(f);
            if (!c.make()) continue;
            const bool fifo = c.refused.empty() && c.stays != file_type::character;
            const int reader = fifo ? open(o.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
            EXPECT_EQ(run(cmd), c.refused.empty() ? 0 : 1);
            EXPECT_EQ(said(), c.refused.empty() ? "" : o + ": " + c.refused + "\n");
            EXPECT_EQ(std::filesystem::symlink_status(o).type(), c.stays);
            Bytes got(ref.size() + 1);
            got.resize(std::max<ssize_t>(read(reader, got.data(), got.size()), 0));
            EXPECT_TRUE(!fifo || got == ref);
            if (fifo) close(reader);
        }
        EXPECT_EQ(slurp<Bytes>("ref"), ref);
    }
    std::filesystem::remove_all(o);
}

// No command replaces its own input, whatever name the output is given, and
// --rm removes no device node.
TEST(Tool, LeavesItsInputsAlone) {
    const Bytes file = cmpz_file(1, cmpr_test::log_text(2000, 12));
    const std::string in = put("own.cz", file), hard = path("hard.cz"), node = path("node");
    ASSERT_EQ(link(in.c_str(), hard.c_str()), 0);
    for (const Args &cmd : {Args{"salvage", "-f", in, in}, Args{"salvage", "-f", in, hard},
                            Args{"decompress", "-fo", hard, in}}) {
        EXPECT_EQ(run(cmd), 1);
        EXPECT_EQ(said(), in + ": is its own output; left alone\n");
        EXPECT_EQ(slurp<Bytes>("own.cz"), file);
    }
    if (mknod(node.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) return;  // the null device
    EXPECT_EQ(run({"compress", "--rm", node}), 1);
    EXPECT_EQ(said(), node + ": not a regular file, which --rm does not remove; left alone\n");
    EXPECT_TRUE(std::filesystem::is_character_file(node));
}

// Bytes after the end of a zlib stream are no part of it: test and
// decompress refuse the file, inspect and salvage say where they lie.
TEST(Tool, BytesAfterAZlibStreamAreDamage) {
    const Bytes text = cmpr_test::log_text(5000, 13), junk = {1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes file = cmpz_file(1, text, junk);
    auto after = [](size_t size) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08zx", size - 8);
        return "8 bytes after the end of the zlib stream, from byte " + std::string(hex);
    };
    for (const Args &cmd : {Args{"test"}, Args{"decompress", "-fo", path("x")}}) {
        EXPECT_EQ(run(cmd, {put("t.cz", file)}), 1);
        EXPECT_EQ(said(), path("t.cz") + ": " + after(file.size()) + "\n");
    }
    EXPECT_FALSE(std::filesystem::exists(path("x")));
    for (const Bytes &in : {file, zlib_stream(text) + junk}) {
        EXPECT_EQ(run({"inspect", "--json", put("in", in)}), 1);
        const std::string trailing =
            "{\"offset\":" + std::to_string(in.size() - 8) + ",\"length\":8}";
        EXPECT_NE(slurp("out").find("\"trailing\":" + trailing), std::string::npos) << slurp("out");
        EXPECT_EQ(run({"salvage", "-f", path("in"), path("saved")}), 1);
        EXPECT_EQ(said(), path("in") + ": " + after(in.size()) + ": left out\n");
        EXPECT_EQ(slurp<Bytes>("saved"), text);
    }
}

// An input that is not a regular file is read only as far as it is needed:
// a device that reads on past its length (0 for /dev/zero) is refused at
// once, and list takes only the header from a pipe.
TEST(Tool, ReadsInputsThatAreNoRegularFilesOnlyAsFarAsNeeded) {
    // Limits, so that a fault cannot run away.
    const How guarded = {.ulimit = limits_apply() ? "-t 10 && ulimit -v 1000000" : "-t 10"};
    for (const Args &cmd : {Args{"list"}, Args{"inspect"}, Args{"test"}, Args{"crc32"},
                            Args{"salvage", "-f", "/dev/zero", path("z")}}) {
        EXPECT_EQ(run(cmd, cmd.size() == 1 ? Args{"/dev/zero"} : Args{}, guarded), 1);
        EXPECT_EQ(said(),
                  "/dev/zero: not a regular file, and it reads on past its length (0 "
                  "bytes); copy what is wanted to a file first\n");
    }
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    const Bytes file = cmpz_file(1, cmpr_test::log_text(2000, 14));
    ASSERT_EQ(write(fds[1], file.data(), file.size()), ssize_t(file.size()));
    close(fds[1]);
    EXPECT_EQ(run({"list"}, {}, {.in_fd = fds[0]}), 0) << slurp("err");
    close(fds[0]);
    EXPECT_NE(slurp("out").find("\nzlib                    -         2000      - "),
              std::string::npos)
        << slurp("out");
}

// Memory: an input that cannot get what it needs fails alone, named, in one
// line, and the others are still done; bare segments that stand for more
// than the library counts are refused before any room is reserved for them.
TEST(Tool, AnInputThatRunsOutOfMemoryFailsAlone) {
    if (!limits_apply()) GTEST_SKIP() << "no address-space limit applies to this tool";
    const std::string big = put("big", Bytes(48 << 20, 0)),
                      small = put("small.cz", cmpz_file(1, cmpr_test::log_text(2000, 15)));
    // Room for the big input, not for a copy, or not even for the input.
    EXPECT_EQ(run({"bench", "--runs=1", "--min-time=1", big, small}, {}, {.ulimit = "-v 81920"}),
              1);
    EXPECT_EQ(said(), big + ": out of memory\n");
    EXPECT_NE(slurp("out").find(small + ": "), std::string::npos) << slurp("out");
    EXPECT_EQ(run({"test", big, small}, {}, {.ulimit = "-v 40960"}), 1);
    EXPECT_EQ(said(), big + ": cannot reserve 50331649 bytes of memory for the input\n");
    std::vector<size_t> at;
    put("huge", join(std::vector<Bytes>(257, cmpr_test::compress(Bytes(16 << 20, 0))), at));
    EXPECT_EQ(run({"test", "--raw", "-q", path("huge")}, {}, {.ulimit = "-v 1000000"}), 1);
    EXPECT_EQ(said(), path("huge") +
                          ": the segments stand for 4311744512 bytes; the library "
                          "counts at most 4294967295\n");
}
