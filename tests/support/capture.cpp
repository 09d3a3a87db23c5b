// Captures of reports and shell commands, guarded buffers and owned trees.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "decode/shell.h"
#include "support.h"

namespace cmpr_test {
namespace {

std::vector<std::string> g_reports;
trc_fn_t g_saved;

int capture(const char *func, int line, int level, const char *fmt, ...) {
    char msg[2048];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(msg, sizeof msg, fmt, ap);
    va_end(ap);
    g_reports.push_back(std::string(func) + "-" + std::to_string(line) + "-" +
                        std::to_string(level) + ": " + msg);
    return 0;
}

}  // namespace

TraceCapture::TraceCapture() : reports(g_reports) {
    g_saved = cmpr_trc_fn;
    g_reports.clear();
    cmpr_api_init(capture);
}

TraceCapture::~TraceCapture() {
    cmpr_trc_fn = g_saved;
}

Lines dump_rows(int line, const uint8_t *first, int rows) {
    Lines out;
    for (const uint8_t *p = first; p < first + 20 * rows; p += 20) {
        char row[128];
        int n = std::snprintf(row, sizeof row, "dbg_hex_dump-%d-3: %p:", line,
                              static_cast<const void *>(p));
        for (int w = 0; w < 20; w += 4)
            n += std::snprintf(row + n, sizeof row - size_t(n), " %02X%02X%02X%02X", p[w], p[w + 1],
                               p[w + 2], p[w + 3]);
        out.push_back(row);
    }
    return out;
}

size_t &shell_reboots() {
    static size_t calls = 0;
    return calls;
}

GuardedBuffer::GuardedBuffer(size_t size) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size = (size + page - 1) / page * page + (size == 0 ? page : 0);
    auto *p = static_cast<uint8_t *>(
        mmap(nullptr, size + 2 * page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (p == MAP_FAILED || mprotect(p + page, size, PROT_READ | PROT_WRITE) != 0) std::abort();
    start = p + page;
    end = start + size;
}

GuardedBuffer::~GuardedBuffer() {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    munmap(start - page, static_cast<size_t>(end - start) + 2 * page);
}

int count_below(const tree_node *n) {
    return n == nullptr ? 0 : !!n->zero + !!n->one + count_below(n->zero) + count_below(n->one);
}

void free_below(tree_node *n) {
    for (tree_node **child : {&n->zero, &n->one})
        if (*child != nullptr) {
            free_below(*child);
            std::free(*child);
            *child = nullptr;
        }
}

OwnedTree::~OwnedTree() {
    free_below(&root);
}

std::vector<code_entry> OwnedTree::build(const std::vector<int32_t> &lengths) {
    std::vector<code_entry> table;
    for (int32_t len : lengths) table.push_back({-1, len});  // -1: no code given
    free_below(&root);
    get_table(table.data(), static_cast<int32_t>(table.size()), &root);
    return table;
}

}  // namespace cmpr_test

// The stand-in for the library's shell seam: counts, never runs anything.
void cmpr::hand_reboot_to_shell() {
    ++cmpr_test::shell_reboots();
}
