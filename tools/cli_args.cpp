#include "cli_args.h"

#include <cctype>
#include <cstdlib>

#include "codecs.h"
#include "errors.h"
#include "file_io.h"

namespace cmpr_tool {

namespace {

constexpr unsigned bit(Command c) {
    return 1u << static_cast<unsigned>(c);
}
constexpr unsigned kAny = ~0u;
constexpr unsigned kWriting = bit(Command::kCompress) | bit(Command::kDecompress);
constexpr unsigned kReading = kWriting | bit(Command::kTest) | bit(Command::kList);

struct CommandName {
    const char *name;
    Command command;
    char letter;  // gzip's and zstd's letter for it, or 0
};

constexpr CommandName kCommands[] = {
    {"compress", Command::kCompress, 0}, {"decompress", Command::kDecompress, 'd'},
    {"test", Command::kTest, 't'},       {"list", Command::kList, 'l'},
    {"crc32", Command::kCrc32, 0},       {"bench", Command::kBench, 0},
    {"inspect", Command::kInspect, 0},   {"salvage", Command::kSalvage, 0},
    {"help", Command::kHelp, 'h'},       {"version", Command::kVersion, 'V'},
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

struct Option {
    char letter;       // -x, or 0
    const char *name;  // --name, or nullptr
    unsigned commands;
    bool takes_value;
    void (*apply)(Args &a, const std::string &value, const std::string &as);
};

using V = const std::string &;
constexpr Option kOptions[] = {
    {'v', "--verbose", kAny, false,
     [](Args &a, V, V) {
         a.verbose = true;
         a.quiet = false;
     }},
    {'q', "--quiet", kAny, false,
     [](Args &a, V, V) {
         a.quiet = true;
         a.verbose = false;
     }},
    {'c', "--stdout", kWriting, false, [](Args &a, V, V) { a.to_stdout = true; }},
    {'o', nullptr, kWriting, true, [](Args &a, V v, V) { a.output = v; }},
    {'f', "--force", kReading | bit(Command::kSalvage), false,
     [](Args &a, V, V) { a.force = true; }},
    {'k', "--keep", kWriting, false, [](Args &a, V, V) { a.remove_input = false; }},
    {0, "--rm", kWriting, false, [](Args &a, V, V) { a.remove_input = true; }},
    {0, "--raw", kReading, false, [](Args &a, V, V) { a.raw = true; }},
    {0, "--codec", bit(Command::kCompress), true, [](Args &a, V v, V) { a.codec = v; }},
    {0, "--record-size", bit(Command::kCompress) | bit(Command::kInspect) | bit(Command::kSalvage),
     true, [](Args &a, V v, V as) { a.record_size = parse_count(v, as, 1, kMaxInput); }},
    {0, "--json", bit(Command::kInspect), false, [](Args &a, V, V) { a.json = true; }},
    {0, "--all", bit(Command::kInspect), false, [](Args &a, V, V) { a.all = true; }},
    {0, "--swap", bit(Command::kInspect) | bit(Command::kSalvage), true,
     [](Args &a, V v, V as) {
         if (v != "16" && v != "32")
             throw UsageError("option " + as + " wants 16 or 32, not '" + v + "'");
         a.swap = v == "16" ? 16 : 32;
     }},
    {0, "--keep-damaged", bit(Command::kSalvage), false,
     [](Args &a, V, V) { a.keep_damaged = true; }},
    {0, "--fill", bit(Command::kSalvage), true,
     [](Args &a, V v, V as) { a.fill = static_cast<int>(parse_count(v, as, 0, 255)); }},
    {0, "--runs", bit(Command::kBench), true,
     [](Args &a, V v, V as) { a.bench_runs = static_cast<int>(parse_count(v, as, 1, 1000)); }},
    {0, "--min-time", bit(Command::kBench), true,
     [](Args &a, V v, V as) { a.bench_min_ms = static_cast<int>(parse_count(v, as, 1, 60000)); }},
};

struct Given {
    const Option *option;
    std::string value, as;  // 'as': how the user wrote it
};

}  // namespace

Args parse_args(int argc, char **argv) {
    Args a;
    const CommandName *cmd = nullptr;
    bool help = false, version = false, options_done = false;
    std::vector<Given> given;  // applied once the command is known
    // A command letter: -d, -t, -l; -t and -l also turn decompress into test and list.
    auto command_letter = [&](const CommandName &c) {
        if (c.command == Command::kHelp) help = true;
        if (c.command == Command::kVersion) version = true;
        if (c.command == Command::kHelp || c.command == Command::kVersion) return;
        if (cmd != nullptr && cmd != &c && cmd->command != Command::kDecompress)
            throw UsageError(std::string{'-', c.letter} + " does not go with " + cmd->name);
        cmd = &c;
    };
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
            if (cmd->command == Command::kHelp) help = true;
            if (cmd->command == Command::kVersion) version = true;
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        auto value_of = [&](const std::string &as, std::string rest) {
            if (!rest.empty()) return rest;
            if (i + 1 >= argc) throw UsageError("option " + as + " needs a value");
            return std::string(argv[++i]);
        };
        if (arg.starts_with("--")) {  // --name=value or --name value
            const size_t eq = arg.find('=');
            const std::string name = arg.substr(0, eq);
            if (name == "--help" || name == "--version") {
                (name == "--help" ? help : version) = true;
                continue;
            }
            const Option *o = nullptr;
            for (const Option &opt : kOptions)
                if (opt.name != nullptr && name == opt.name) o = &opt;
            if (o == nullptr) throw UsageError("unknown option '" + name + "'");
            if (!o->takes_value && eq != std::string::npos)
                throw UsageError("option " + name + " takes no value");
            const std::string rest = eq == std::string::npos ? "" : arg.substr(eq + 1);
            if (o->takes_value && eq != std::string::npos && rest.empty())
                throw UsageError("option " + name + " needs a value");
            given.push_back({o, o->takes_value ? value_of(name, rest) : "", name});
            continue;
        }
        // Letters, one or more: -kf is -k -f; a letter with a value takes
        // the rest of the word or the next one (-oFILE, -o FILE).
        for (size_t k = 1; k < arg.size(); ++k) {
            const std::string as = {'-', arg[k]};
            const CommandName *c = nullptr;
            for (const CommandName &n : kCommands)
                if (n.letter == arg[k]) c = &n;
            if (c != nullptr) {
                command_letter(*c);
                continue;
            }
            const Option *o = nullptr;
            for (const Option &opt : kOptions)
                if (opt.letter == arg[k]) o = &opt;
            if (o == nullptr) throw UsageError("unknown option '" + as + "'");
            if (!o->takes_value) {
                given.push_back({o, "", as});
                continue;
            }
            given.push_back({o, value_of(as, arg.substr(k + 1)), as});
            break;
        }
    }
    if (help || version) {
        a.command = help ? Command::kHelp : Command::kVersion;
        return a;
    }
    if (cmd == nullptr) throw UsageError("no command given; try 'cmpr --help'");
    a.command = cmd->command;
    for (const Given &g : given) {
        if ((g.option->commands & bit(a.command)) == 0)
            throw UsageError("option " + g.as + " does not go with " + cmd->name +
                             "; try 'cmpr --help'");
        g.option->apply(a, g.value, g.as);
    }
    if (a.command == Command::kSalvage && a.files.size() != 2)
        throw UsageError("salvage takes an input and an output file");
    if (a.fill >= 0 && a.keep_damaged) throw UsageError("--fill goes without --keep-damaged");
    if (!a.output.empty() && a.files.size() > 1)
        throw UsageError("-o names the output of one input, not of " +
                         std::to_string(a.files.size()));
    if (!a.output.empty() && a.to_stdout) throw UsageError("-c and -o do not go together");
    if (a.to_stdout && a.command == Command::kCompress && a.files.size() > 1)
        throw UsageError("compress -c takes one input: cmpr files cannot be joined");
    if (a.remove_input && (a.to_stdout || a.output == "-"))
        throw UsageError("--rm needs the outputs in files, not on standard output");
    if (a.command == Command::kCompress) {
        if (a.codec.empty()) a.codec = a.raw ? "own" : "zlib";
        find_codec(a.codec);
        if (a.codec != "own" && (a.raw || a.record_size != 0))
            throw UsageError(std::string(a.raw ? "--raw" : "--record-size") +
                             " needs the own codec (--codec own), not '" + a.codec + "'");
    }
    return a;
}

std::string usage_text() {
    std::string s =
        "Usage: cmpr COMMAND [OPTIONS] [FILE...]\n"
        "\n"
        "Commands:\n"
        "  compress [FILE...]    compress each FILE to FILE.cz beside it\n"
        "  decompress [FILE...]  restore each FILE.cz to FILE (also -d)\n"
        "  test [FILE...]        check each file, write nothing (also -t)\n"
        "  list [FILE...]        show method, sizes, ratio and CRC-32 (also -l)\n"
        "  inspect [--json] [--all] [--record-size N] [--swap 16|32] [FILE...]\n"
        "                        say what each file holds, which stretches are damaged\n"
        "                        and where, with a map (--all: every row)\n"
        "  salvage [--record-size N] [--keep-damaged | --fill BYTE] [--swap 16|32]\n"
        "          [-f] IN OUT   write what can be saved of IN to OUT; --fill writes\n"
        "                        each lost record as BYTEs, so that records keep\n"
        "                        their places\n"
        "  crc32 [FILE...]       print the CRC-32 of each file\n"
        "  bench [--runs N] [--min-time MS] [FILE...]\n"
        "                        measure the codecs beside zlib level 1 on the files\n"
        "                        or a built-in sample: best of N runs (5) of at least\n"
        "                        MS milliseconds (100) each\n"
        "  help, version         show this text, or the versions\n"
        "No FILE, or '-': standard input, and standard output for the result.\n"
        "\n"
        "Options of compress and decompress (test and list: --raw, -f):\n"
        "  -c, --stdout          write to standard output\n"
        "  -o FILE               write to FILE (one input)\n"
        "  -f, --force           replace existing files; write compressed data to\n"
        "                        a terminal, read it from one\n"
        "  -k, --keep            keep the inputs (the default)\n"
        "  --rm                  remove each input once its output is written\n"
        "  --codec C             compress with codec C (below)\n"
        "  --record-size N       own codec: a segment per record of N bytes\n"
        "  --raw                 bare own-codec segments: no header, no checksum\n"
        "\n"
        "Codecs:\n";
    for (const Codec &c : codecs()) {
        const std::string name = c.name;
        s += "  " + name + std::string(name.size() < 8 ? 8 - name.size() : 1, ' ') + c.about + "\n";
    }
    s += "\n"
         "Options of every command:\n"
         "  -q, --quiet           no notes and no progress on standard error\n"
         "  -v, --verbose         a line per file; the library's trace reports\n"
         "  -V, --version         show the versions of the tool and the library\n"
         "  -h, --help            show this text\n"
         "\n"
         "Inputs are limited to " +
         std::to_string(kMaxInput) +
         " bytes.  Exit status: 0 success, 1 an input\n"
         "failed (the others are still done), 2 usage error.\n";
    return s;
}

}  // namespace cmpr_tool
