#include "file_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>

#include "codecs.h"
#include "container.h"
#include "dump_walk.h"
#include "errors.h"
#include "file_io.h"
#include "progress.h"

namespace cmpr_tool {

namespace {

// Where the result of 'in' goes ("-": standard output): NAME.cz beside a
// NAME compressed, NAME beside a NAME.cz decompressed.  Another name is
// refused, for this input only.
std::string output_for(const Args &a, const std::string &in) {
    if (!a.output.empty()) return a.output;
    if (a.to_stdout || is_std_stream(in)) return "-";
    const std::string suffix = kSuffix;
    const bool has_suffix = in.ends_with(suffix) && in.size() > suffix.size() &&
                            in[in.size() - suffix.size() - 1] != '/';
    if (a.command == Command::kCompress) {
        if (has_suffix) throw Failure(in + ": already ends in " + suffix + "; left alone");
        return in + suffix;
    }
    if (!has_suffix)
        throw Failure(in + ": does not end in " + suffix +
                      "; left alone (-c or -o names the output)");
    return in.substr(0, in.size() - suffix.size());
}

void refuse_terminal_input(const Args &a, const std::string &in) {
    if (is_std_stream(in) && !a.force && isatty(STDIN_FILENO) == 1)
        throw Failure("compressed data is not read from a terminal (-f reads it)");
}

// One input of compress, decompress or test.
void code_one(const Args &a, const std::string &in) {
    const std::string name = display_name(in);
    const bool compressing = a.command == Command::kCompress;
    if (!compressing) refuse_terminal_input(a, in);
    std::optional<OutputFile> out;
    std::string out_path;
    if (!is_std_stream(in) && access(in.c_str(), R_OK) != 0)  // a missing input comes first
        throw Failure(in + ": " + std::strerror(errno));
    // A device node or a FIFO is no file of data to be replaced by its output.
    struct stat st;
    if (a.remove_input && !is_std_stream(in) && stat(in.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw Failure(in + ": not a regular file, which --rm does not remove; left alone");
    if (a.command != Command::kTest) {
        out_path = output_for(a, in);
        if (is_std_stream(out_path) && compressing && !a.force && isatty(STDOUT_FILENO) == 1)
            throw Failure("compressed data is not written to a terminal (-f writes it)");
        refuse_own_output(in, out_path);
        out.emplace(out_path, a.force);  // an existing output is refused before any work
    }
    Progress progress(name, a.quiet);
    progress.phase("reading");
    Region data =
        read_input(in, [&](uint64_t done, uint64_t total) { progress.update(done, total); });
    const uint64_t in_size = data.size();
    Region result = compressing
                        ? compress(data.bytes(), {a.codec == "own", a.record_size, a.raw, a.quiet},
                                   name, progress)
                        : decompress(data.bytes(), {a.raw, a.verbose, a.quiet}, name, progress);
    data = Region();  // the input's memory goes back before the output is written
    if (out) {
        const uint64_t total = result.size();
        progress.phase("writing", total);
        out->write(result.bytes(), [&](uint64_t done, uint64_t) { progress.update(done, total); });
        out->commit();
    }
    if (a.remove_input && !is_std_stream(in) && unlink(in.c_str()) != 0)
        throw Failure(in + ": written, but not removed: " + std::strerror(errno));
    if (a.verbose)
        note(name + ": " + std::to_string(in_size) + " -> " + std::to_string(result.size()) +
             " bytes" + (out ? ", " + (is_std_stream(out_path) ? "<stdout>" : out_path) : ", ok"));
}

// One line of list: what the header says, without reading (or checking)
// the payload; bare segments are walked.  Of an input that is no regular
// file only the header is read, and its size is not known.
void list_one(const Args &a, const std::string &in, bool &titled) {
    const std::string name = display_name(in);
    refuse_terminal_input(a, in);
    std::string method = "raw", crc = "-";
    std::optional<uint64_t> size;
    uint64_t original = 0;
    if (a.raw) {
        const Region r = read_input(in);
        std::string first;
        const WalkSummary w = walk_for_damage(r.bytes(), WalkOptions{0, false, false}, 0, first);
        if (!w.intact()) throw Failure(name + ": " + first);
        size = r.size();
        original = w.recoverable;
    } else {
        InputFile f(in);
        uint8_t head[kMaxHeader];
        size_t got = 0;
        while (got < sizeof head)
            if (const size_t n = f.read_some(head + got, sizeof head - got); n > 0)
                got += n;
            else
                break;
        size = f.length();
        const std::span<const uint8_t> bytes(head, got);
        if (!has_magic(bytes))
            throw Failure(name + ": not a cmpr file (no CMPZ magic); bare segments need --raw");
        const Header h = read_header(bytes, name);
        method = method_name(h.method);
        original = h.length;
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08x", h.crc);
        crc = hex;
    }
    char ratio[32] = "-";
    if (size.value_or(0) > 0 && original > 0)
        std::snprintf(ratio, sizeof ratio, "%.2f",
                      static_cast<double>(original) / static_cast<double>(*size));
    if (!titled)
        std::printf("%-12s %12s %12s %6s %-8s  %s\n", "method", "compressed", "original", "ratio",
                    "crc-32", "name");
    titled = true;
    std::printf("%-12s %12s %12llu %6s %-8s  %s\n", method.c_str(),
                size ? std::to_string(*size).c_str() : "-",
                static_cast<unsigned long long>(original), ratio, crc.c_str(), name.c_str());
}

}  // namespace

int for_each_input(const std::vector<std::string> &files,
                   const std::function<int(const std::string &)> &one) {
    int status = 0;
    for (const std::string &f : files.empty() ? std::vector<std::string>{"-"} : files) {
        auto failed = [&](const std::string &line) {
            std::fflush(stdout);
            note(line);
            status = 1;
        };
        try {
            status |= one(f);
        } catch (const OutOfMemory &e) {
            failed(display_name(f) + ": " + e.what());
        } catch (const std::bad_alloc &) {
            failed(display_name(f) + ": out of memory");
        } catch (const Failure &e) {
            failed(e.what());
        }
    }
    return status;
}

int file_command(const Args &a) {
    bool titled = false;
    return for_each_input(a.files, [&](const std::string &f) {
        if (a.command == Command::kList)
            list_one(a, f, titled);
        else
            code_one(a, f);
        return 0;
    });
}

}  // namespace cmpr_tool
