// cmpr: a host-side command-line tool over libcmpr, for poking at data the
// way the daemon on the unit handles it.
#include <zlib.h>

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <new>

#include "bench_cmd.h"
#include "cli_args.h"
#include "cmpr.h"
#include "codecs.h"
#include "dump_commands.h"
#include "errors.h"
#include "file_commands.h"
#include "file_io.h"
#include "progress.h"
#include "segment_decode.h"

using namespace cmpr_tool;

namespace {

bool g_verbose = false;

// The library's default trace function prints to standard output, where the
// tool writes its data.  Reports go to standard error, and only with -v.
int trace_to_stderr(const char *func, int line, int level, const char *fmt, ...) {
    if (!g_verbose || MuteLibraryReports::muted()) return 0;
    char msg[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(msg, sizeof msg, fmt, ap);
    va_end(ap);
    note("trace[" + std::to_string(level) + "]: " + func + "-" + std::to_string(line) + ": " + msg);
    return 0;
}

// Streams each file, so checksums of large files need no memory to speak of.
// A file that cannot be read is reported and the others still get their line.
int crc32_cmd(const Args &a) {
    static uint8_t buf[1 << 20];
    return for_each_input(a.files, [](const std::string &f) {
        InputFile file(f);
        uint32_t reg = 0xFFFFFFFFu;
        while (size_t got = file.read_some(buf, sizeof buf)) reg = crc32_update(reg, {buf, got});
        std::printf("%08x  %s\n", ~reg, f.c_str());
        return 0;
    });
}

int run(int argc, char **argv) {
    const Args a = parse_args(argc, argv);
    g_verbose = a.verbose;
    switch (a.command) {
        case Command::kHelp:
            std::fputs(usage_text().c_str(), stdout);
            return 0;
        case Command::kVersion:
            std::printf("cmpr %s (libcmpr %s, zlib %s)\n", CMPR_TOOL_VERSION, CMPR_VERSION_STRING,
                        zlibVersion());
            return 0;
        case Command::kCompress:
        case Command::kDecompress:
        case Command::kTest:
        case Command::kList:
            return file_command(a);
        case Command::kCrc32:
            return crc32_cmd(a);
        case Command::kInspect:
            return inspect_cmd(a.files,
                               InspectOptions{a.json, a.all, a.record_size, a.swap, a.verbose});
        case Command::kSalvage:
            return for_each_input({a.files[0]}, [&](const std::string &in) {
                refuse_own_output(in, a.files[1]);
                return salvage_cmd(in, a.files[1],
                                   SalvageOptions{a.record_size, a.keep_damaged, a.fill, a.swap,
                                                  a.verbose, a.force});
            });
        case Command::kBench:
            return run_bench(a.files, BenchSettings{a.bench_runs, a.bench_min_ms});
    }
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    cmpr_api_init(trace_to_stderr);
    // A reader that goes away (cmpr decompress x | head) and a file that
    // outgrows its limit (ulimit -f) are write errors like any other, not
    // reasons to die by signal and leave a temporary file behind.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    remove_output_on_interrupt();
    int status;
    try {
        status = run(argc, argv);
    } catch (const UsageError &e) {
        std::fprintf(stderr, "cmpr: %s\n", e.what());
        return 2;
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "cmpr: out of memory\n");
        return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "cmpr: %s\n", e.what());
        return 1;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "cmpr: <stdout>: write failed\n");
        return 1;
    }
    return status;
}
