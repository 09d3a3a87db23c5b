// The cmpr tool as its users meet it: each test runs the built executable as
// a child process on files in a scratch directory and checks its exit status
// and what it wrote.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tool_run.h"

using namespace tool_test;
using cmpr_test::Bytes;

namespace {

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
        Bytes flipped = good;
        flipped[flipped.size() / 2] ^= 0x10;
        for (const Bytes &bad : {Bytes(good.begin(), good.begin() + 10), flipped}) {
            const bool header = bad.size() == 10;
            if (raw && !header) continue;  // a flip may leave no sign
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
        const auto trailing = nlohmann::json::parse(slurp("out"))["trailing"];
        EXPECT_EQ(trailing["offset"], in.size() - 8);
        EXPECT_EQ(trailing["length"], 8);
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
    const Bytes zeros = cmpr_test::compress(Bytes(16 << 20, 0));
    const Bytes word_aligned = zeros + Bytes((4 - zeros.size() % 4) % 4, 0);
    Bytes huge;
    for (int i = 0; i < 257; ++i) huge.insert(huge.end(), word_aligned.begin(), word_aligned.end());
    put("huge", huge + Bytes(4, 0));
    EXPECT_EQ(run({"test", "--raw", "-q", path("huge")}, {}, {.ulimit = "-v 1000000"}), 1);
    EXPECT_EQ(said(), path("huge") +
                          ": the segments stand for 4311744512 bytes; the library "
                          "counts at most 4294967295\n");
}
