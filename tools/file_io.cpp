#include "file_io.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "errors.h"

namespace cmpr_tool {

namespace {

// Linux moves a little under 2 GiB per read or write call; asking for no
// more than this keeps every request within that.
constexpr size_t kMaxTransfer = size_t{1} << 30;

std::string sys_error(const std::string &path, const char *doing) {
    return display_name(path) + ": " + doing + std::strerror(errno);
}

Failure too_large(const std::string &path) {
    return Failure(display_name(path) + ": input is longer than " + std::to_string(kMaxInput) +
                   " bytes; the library counts lengths in 32 bits");
}

}  // namespace

Region::Region(uint64_t capacity, const std::string &what) {
    // A zero-byte mapping is not allowed; one page keeps data() valid.
    uint64_t want = std::max<uint64_t>(capacity, 1);
    void *p = MAP_FAILED;
    if (want <= SIZE_MAX)
        p = mmap(nullptr, static_cast<size_t>(want), PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED)
        throw Failure("cannot reserve " + std::to_string(capacity) +
                      " bytes of address space for " + what);
    p_ = static_cast<uint8_t *>(p);
    cap_ = static_cast<size_t>(capacity);
    mapped_ = static_cast<size_t>(want);
}

Region::~Region() {
    if (p_ != nullptr) munmap(p_, mapped_);
}

Region::Region(Region &&other) noexcept {
    swap(other);
}

Region &Region::operator=(Region &&other) noexcept {
    Region(std::move(other)).swap(*this);  // the temporary takes our old mapping along
    return *this;
}

void Region::swap(Region &other) noexcept {
    std::swap(p_, other.p_);
    std::swap(size_, other.size_);
    std::swap(cap_, other.cap_);
    std::swap(mapped_, other.mapped_);
}

void Region::set_size(size_t n) {
    size_ = std::min(n, cap_);
}

bool is_std_stream(const std::string &path) {
    return path.empty() || path == "-";
}

std::string display_name(const std::string &path) {
    return is_std_stream(path) ? std::string("<stdin>") : path;
}

InputFile::InputFile(const std::string &path)
    : path_(path),
      fd_(is_std_stream(path) ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0) throw Failure(sys_error(path, ""));
}

InputFile::~InputFile() {
    if (fd_ != STDIN_FILENO) close(fd_);
}

size_t InputFile::read_some(uint8_t *buf, size_t n) {
    for (;;) {
        ssize_t got = read(fd_, buf, std::min(n, kMaxTransfer));
        if (got >= 0) return static_cast<size_t>(got);
        if (errno != EINTR) throw Failure(sys_error(path_, "read failed: "));
    }
}

Region read_input(const std::string &path) {
    InputFile file(path);

    // A regular file says its length up front: refuse it before reading.
    struct stat st;
    if (fstat(file.fd(), &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<uint64_t>(st.st_size) > kMaxInput)
        throw too_large(path);

    // Room for one byte past the limit tells a pipe that is too long apart
    // from one that is exactly at it.  Only what is read gets committed.
    Region r(kMaxInput + 1, "reading " + display_name(path));
    size_t n = 0;
    while (n < r.capacity()) {
        size_t got = file.read_some(r.data() + n, r.capacity() - n);
        if (got == 0) break;
        n += got;
    }
    if (n > kMaxInput) throw too_large(path);
    r.set_size(n);
    return r;
}

void write_output(const std::string &path, std::span<const uint8_t> data) {
    bool to_stdout = is_std_stream(path);
    const std::string name = to_stdout ? "<stdout>" : path;
    int fd = to_stdout ? STDOUT_FILENO
                       : open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw Failure(name + ": cannot create: " + std::strerror(errno));
    size_t done = 0;
    while (done < data.size()) {
        ssize_t put = write(fd, data.data() + done, std::min(data.size() - done, kMaxTransfer));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            int err = put < 0 ? errno : EIO;
            if (!to_stdout) close(fd);
            throw Failure(name + ": write failed: " + std::strerror(err));
        }
        done += static_cast<size_t>(put);
    }
    if (!to_stdout && close(fd) != 0)
        throw Failure(name + ": write failed: " + std::strerror(errno));
}

}  // namespace cmpr_tool
