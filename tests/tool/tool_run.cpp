#include "tool_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

extern char **environ;

namespace tool_test {

namespace {

// This process's own scratch directory, removed at exit.
const std::string scratch = [] {
    static std::string dir = std::filesystem::temp_directory_path().string() + "/cmpr-tool-XXXXXX";
    if (mkdtemp(dir.data()) != nullptr) std::atexit([] { std::filesystem::remove_all(dir); });
    return dir + "/";
}();

}  // namespace

std::string path(const std::string &name) {
    return scratch + name;
}

std::string put(const std::string &name, const Bytes &data) {
    std::ofstream(path(name), std::ios::binary) << std::string(data.begin(), data.end());
    return path(name);
}

pid_t spawn(Args args, const How &how) {
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

Bytes zlib_stream(const Bytes &data) {
    uLongf n = compressBound(data.size());
    Bytes z(n);
    EXPECT_EQ(compress2(z.data(), &n, data.data(), data.size(), 1), Z_OK);
    z.resize(n);
    return z;
}

int run(Args args, const Args &opts, const How &how) {
    args.insert(args.end(), opts.begin(), opts.end());
    int ws = -1;  // not "exited"
    if (const pid_t pid = spawn(args, how); pid > 0) waitpid(pid, &ws, 0);
    return WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
}

bool one_line(const std::string &err) {
    return err.starts_with("cmpr: ") && std::count(err.begin(), err.end(), '\n') == 1;
}

Bytes cmpz_file(uint8_t method, const Bytes &text, const Bytes &after) {
    Bytes f = {'C', 'M', 'P', 'Z', method};
    for (uLong v : {uLong(text.size()), crc32(0, text.data(), text.size())})
        for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>(v >> 8 * i));
    return f + (method == 1 ? zlib_stream(text) : text) + after;
}

std::string said() {
    const std::string err = slurp("err");
    return err.starts_with("cmpr: ") ? err.substr(6) : err;
}

bool limits_apply() {
    static const bool apply =
        !CMPR_TOOL_SANITIZED && run({"--version"}, {}, {.ulimit = "-v 262144"}) == 0;
    return apply;
}

}  // namespace tool_test
