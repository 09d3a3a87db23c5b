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
// the files "out" and "err", so that no pipe can fill up.
int run(Args args, const Args &opts = {}) {
    args.insert(args.end(), opts.begin(), opts.end());
    std::vector<char *> argv = {const_cast<char *>(CMPR_TOOL_PATH)};
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
