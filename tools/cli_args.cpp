#include "cli_args.h"

#include <cctype>
#include <cstdlib>

#include "codecs.h"
#include "errors.h"
#include "file_io.h"

namespace cmpr_tool {

namespace {

struct CommandName {
    const char *name;
    Command command;
    size_t max_files;
};

constexpr CommandName kCommands[] = {
    {"compress", Command::kCompress, 2},      {"decompress", Command::kDecompress, 2},
    {"crc32", Command::kCrc32, SIZE_MAX},     {"bench", Command::kBench, SIZE_MAX},
    {"inspect", Command::kInspect, SIZE_MAX}, {"salvage", Command::kSalvage, 2},
    {"help", Command::kHelp, SIZE_MAX},
};

uint64_t parse_count(const std::string &text, const std::string &option, uint64_t lo, uint64_t hi) {
    bool digits = !text.empty() && text.size() <= 19;
    for (char c : text) digits = digits && std::isdigit(static_cast<unsigned char>(c));
    uint64_t v = digits ? std::strtoull(text.c_str(), nullptr, 10) : 0;
    if (!digits || v < lo || v > hi)
        throw UsageError("option " + option + " wants a whole number from " + std::to_string(lo) +
                         " to " + std::to_string(hi) + ", not '" + text + "'");
    return v;
}

}  // namespace

Args parse_args(int argc, char **argv) {
    Args a;
    const CommandName *cmd = nullptr;
    bool help = false;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options_done || arg.size() < 2 || arg[0] != '-') {
            if (cmd != nullptr) {
                a.files.push_back(arg);
                continue;
            }
            for (const CommandName &c : kCommands)
                if (arg == c.name) cmd = &c;
            if (cmd == nullptr)
                throw UsageError("unknown command '" + arg + "'; try 'cmpr --help'");
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        // --name=value or --name value
        std::string name = arg;
        std::string value;
        bool inline_value = false;
        if (size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inline_value = true;
        }
        auto take_value = [&] {
            if (inline_value) return value;
            if (i + 1 >= argc) throw UsageError("option " + name + " needs a value");
            return std::string(argv[++i]);
        };
        const Command c = cmd != nullptr ? cmd->command : Command::kHelp;
        const bool coding = c == Command::kCompress || c == Command::kDecompress;
        if (name == "-v" || name == "--verbose") {
            a.verbose = true;
        } else if (name == "-h" || name == "--help") {
            help = true;
        } else if (name == "--codec" && coding) {
            a.codec = take_value();
        } else if (name == "--record-size" &&
                   (c == Command::kCompress || c == Command::kInspect || c == Command::kSalvage)) {
            a.record_size = parse_count(take_value(), name, 1, kMaxInput);
        } else if (name == "--json" && c == Command::kInspect) {
            a.json = true;
        } else if (name == "--keep-damaged" && c == Command::kSalvage) {
            a.keep_damaged = true;
        } else if (name == "--fill" && c == Command::kSalvage) {
            a.fill = static_cast<int>(parse_count(take_value(), name, 0, 255));
        } else if (name == "--runs" && c == Command::kBench) {
            a.bench_runs = static_cast<int>(parse_count(take_value(), name, 1, 1000));
        } else if (name == "--min-time" && c == Command::kBench) {
            a.bench_min_ms = static_cast<int>(parse_count(take_value(), name, 1, 60000));
        } else {
            throw UsageError("unknown option '" + arg + "'" +
                             (cmd != nullptr ? " for " + std::string(cmd->name) : ""));
        }
    }
    if (help) {
        a.command = Command::kHelp;
        return a;
    }
    if (cmd == nullptr) throw UsageError("no command given; try 'cmpr --help'");
    if (a.files.size() > cmd->max_files)
        throw UsageError(std::string(cmd->name) + " takes at most " +
                         std::to_string(cmd->max_files) + " file names");
    if (cmd->command == Command::kSalvage && a.files.size() != 2)
        throw UsageError("salvage takes an input and an output file");
    if (a.fill >= 0 && (a.record_size == 0 || a.keep_damaged))
        throw UsageError("--fill needs --record-size and goes without --keep-damaged");
    a.command = cmd->command;
    return a;
}

std::string usage_text() {
    std::string s =
        "Usage: cmpr [-v] COMMAND [OPTIONS] [ARGS]\n"
        "\n"
        "Commands:\n"
        "  compress [--codec C] [--record-size N] [IN [OUT]]\n"
        "                 compress IN to OUT; '-' or nothing means stdin/stdout\n"
        "  decompress [--codec C] [IN [OUT]]\n"
        "                 restore what compress wrote\n"
        "  inspect [--json] [--record-size N] [FILE...]\n"
        "                 say what each file holds, its segments or zlib stream,\n"
        "                 which parts are damaged and where, with a map\n"
        "  salvage [--record-size N] [--keep-damaged | --fill BYTE] IN OUT\n"
        "                 write what can be saved of IN to OUT and say what was\n"
        "                 left out; exit status 1 when anything was damaged\n"
        "  crc32 [FILE...]\n"
        "                 print the CRC-32 of each file (\"-\" or nothing: stdin)\n"
        "  bench [--runs N] [--min-time MS] [FILE...]\n"
        "                 measure the library's codecs beside zlib level 1 on the\n"
        "                 files, or on a built-in sample; best of N runs (5) of at\n"
        "                 least MS milliseconds (100) each\n"
        "  help           show this text\n"
        "\n"
        "Codecs (--codec):\n";
    for (const Codec &c : codecs()) {
        std::string name = c.name;
        s += "  " + name + std::string(name.size() < 7 ? 7 - name.size() : 1, ' ') + c.about +
             (c.available() ? "" : " [not in this build]") + "\n";
    }
    s += "  --record-size N cuts the input into records of N bytes, one segment each.\n"
         "\n"
         "Options:\n"
         "  -v, --verbose  show the library's trace reports on stderr\n"
         "  -h, --help     show this text\n"
         "\n"
         "Inputs are limited to " +
         std::to_string(kMaxInput) +
         " bytes.  Exit status: 0 success, 1 error in the data or\n"
         "a file, 2 usage error.\n";
    return s;
}

}  // namespace cmpr_tool
