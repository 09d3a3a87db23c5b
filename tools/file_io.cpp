#include "file_io.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <utility>

#include "errors.h"

namespace cmpr_tool {

namespace {

// Linux moves a little under 2 GiB per read or write call; asking for no
// more than this keeps every request within that.
constexpr size_t kMaxTransfer = size_t{1} << 30;
// Whole files move in pieces of this size, so that progress can be told.
constexpr size_t kPiece = size_t{16} << 20;

// The temporary file being written, for the interrupt handler, which may
// only make async-signal-safe calls: a fixed buffer and a flag.
char g_temp[4096];
volatile sig_atomic_t g_temp_set = 0;
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

void remove_temp_and_die(int sig) {
    if (g_temp_set) unlink(g_temp);
    signal(sig, SIG_DFL);
    raise(sig);  // delivered once the handler returns: the process ends as it would have
}

// Holds the interrupts off while the temporary file and g_temp disagree.
class HoldInterrupts {
   public:
    HoldInterrupts() {
        sigset_t set;
        sigemptyset(&set);
        for (int s : kInterrupts) sigaddset(&set, s);
        pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~HoldInterrupts() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    HoldInterrupts(const HoldInterrupts &) = delete;
    HoldInterrupts &operator=(const HoldInterrupts &) = delete;

   private:
    sigset_t old_;
};

bool exists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Renames 'from' to 'to'; without 'force', not over a file that exists.  A
// filesystem that cannot refuse in the same step is asked first.
int rename_new(const std::string &from, const std::string &to, bool force) {
    if (force) return rename(from.c_str(), to.c_str());
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    if (exists(to)) {
        errno = EEXIST;
        return -1;
    }
    return rename(from.c_str(), to.c_str());
}

std::string sys_error(const std::string &path, const char *doing) {
    return display_name(path) + ": " + doing + std::strerror(errno);
}

Failure too_large(const std::string &path, bool regular) {
    return Failure(
        display_name(path) +
        (regular ? ": input is longer than " : ": not a regular file, and it gives more than ") +
        std::to_string(kMaxInput) + " bytes; the library counts lengths in 32 bits");
}

// What a device says it holds from where 'fd' stands: it seeks to its end.
// A disk or a flash partition knows; a terminal cannot seek, and /dev/zero
// says 0.
std::optional<uint64_t> device_length(int fd) {
    const off_t at = lseek(fd, 0, SEEK_CUR), end = lseek(fd, 0, SEEK_END);
    if (at < 0 || end < 0 || lseek(fd, at, SEEK_SET) != at) return std::nullopt;
    return static_cast<uint64_t>(std::max<off_t>(end - at, 0));
}

}  // namespace

Region::Region(uint64_t capacity, const std::string &what, bool guarded) {
    const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    // A zero-byte mapping is not allowed; one page keeps data() valid.
    const uint64_t want =
        std::max<uint64_t>((capacity + page - 1) / page * page, page) + (guarded ? page : 0);
    void *p = MAP_FAILED;
    if (want <= SIZE_MAX)
        p = mmap(nullptr, static_cast<size_t>(want), PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED)
        throw OutOfMemory("cannot reserve " + std::to_string(capacity) + " bytes of memory for " +
                          what);
    base_ = static_cast<uint8_t *>(p);
    mapped_ = static_cast<size_t>(want);
    cap_ = static_cast<size_t>(capacity);
    p_ = base_;
    if (guarded) {
        mprotect(base_ + mapped_ - page, page, PROT_NONE);
        p_ = base_ + mapped_ - page - cap_;
    }
}

Region::~Region() {
    if (base_ != nullptr) munmap(base_, mapped_);
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
    std::swap(base_, other.base_);
    std::swap(size_, other.size_);
    std::swap(cap_, other.cap_);
    std::swap(mapped_, other.mapped_);
}

void Region::grow(uint64_t capacity, const std::string &what) {
    if (capacity <= cap_) return;
    if (base_ == nullptr) {
        Region(capacity, what).swap(*this);
        return;
    }
    const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    const uint64_t want = (capacity + page - 1) / page * page;
    void *p = MAP_FAILED;
    if (want <= SIZE_MAX) p = mremap(base_, mapped_, static_cast<size_t>(want), MREMAP_MAYMOVE);
    if (p == MAP_FAILED)
        throw OutOfMemory("cannot reserve " + std::to_string(capacity) + " bytes of memory for " +
                          what);
    base_ = p_ = static_cast<uint8_t *>(p);
    mapped_ = static_cast<size_t>(want);
    cap_ = static_cast<size_t>(capacity);
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
    struct stat st;
    if (fstat(fd_, &st) != 0) return;
    regular_ = S_ISREG(st.st_mode);
    if (regular_)
        length_ = static_cast<uint64_t>(st.st_size);
    else if (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode))
        length_ = device_length(fd_);
}

InputFile::~InputFile() {
    if (fd_ != STDIN_FILENO) close(fd_);
}

size_t InputFile::read_some(uint8_t *buf, size_t n) {
    for (;;) {
        ssize_t got = read(fd_, buf, std::min(n, kMaxTransfer));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw Failure(sys_error(path_, "read failed: "));
        done_ += static_cast<uint64_t>(got);
        // A regular file that grows while it is read is read on, but a
        // device's length is all it holds.
        if (!regular_ && length_ && done_ > *length_)
            throw Failure(
                display_name(path_) + ": not a regular file, and it reads on past its length (" +
                std::to_string(*length_) + " bytes); copy what is wanted to a file first");
        return static_cast<size_t>(got);
    }
}

Region read_input(const std::string &path, const OnBytes &on_read) {
    InputFile file(path);
    // A file that says its length gets exactly that much room, and one too
    // long is refused before reading.  A pipe's room doubles as it fills.
    const std::optional<uint64_t> length = file.length();
    if (length && *length > kMaxInput) throw too_large(path, file.regular());
    const char *what = "the input";
    Region r(length ? *length + 1 : uint64_t{1} << 20, what);  // one more byte sees it grow
    size_t n = 0;
    for (;;) {
        if (n == r.capacity()) {
            if (n > kMaxInput) throw too_large(path, file.regular());
            r.grow(std::min<uint64_t>(2 * uint64_t{n}, kMaxInput + 1), what);
        }
        const size_t got = file.read_some(r.data() + n, std::min(r.capacity() - n, kPiece));
        if (got == 0) break;
        n += got;
        if (on_read) on_read(n, length.value_or(0));
    }
    r.set_size(n);
    return r;
}

namespace {

// The line that refuses to replace 'path'.
std::string already_exists(const std::string &path) {
    return path + ": already exists; not overwritten (-f overwrites)";
}

}  // namespace

void remove_output_on_interrupt() {
    for (int s : kInterrupts) {
        struct sigaction old;
        if (sigaction(s, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        struct sigaction act = {};
        act.sa_handler = remove_temp_and_die;
        sigemptyset(&act.sa_mask);
        for (int other : kInterrupts) sigaddset(&act.sa_mask, other);
        sigaction(s, &act, nullptr);
    }
}

// What is at 'path' decides how it is written, each kind as a careful user
// would want it:
//   nothing          a new file, from a temporary one renamed when complete;
//   a regular file   (with force) replaced the same way, so that a failure
//                    leaves the old one whole;
//   a device node or a FIFO, or a symbolic link to one
//                    (with force) written through, as the shell's '>' does:
//                    their point is to take the data (a disk, a flash
//                    partition, /dev/null, /dev/stdout, a reader at the other
//                    end), and a file put in their place breaks the system;
//                    one cannot be replaced whole, so a failure leaves what
//                    was written;
//   a symbolic link to a file, or to nothing
//                    refused: replacing the link cuts it from its file, and
//                    writing into that file changes one the user did not
//                    name (and lets a link planted in a shared folder aim the
//                    output anywhere); naming the file itself settles it;
//   a directory      refused.
OutputFile::OutputFile(const std::string &path, bool force)
    : path_(path), fd_(STDOUT_FILENO), force_(force) {
    if (is_std_stream(path)) return;
    struct stat own, target;
    const bool there = lstat(path.c_str(), &own) == 0;
    const bool reached = there && stat(path.c_str(), &target) == 0;
    if (reached && S_ISDIR(target.st_mode)) throw Failure(path + ": is a directory; not replaced");
    if (there && S_ISLNK(own.st_mode) && (!reached || S_ISREG(target.st_mode)))
        throw Failure(path +
                      ": is a symbolic link; neither it nor the file it points to is replaced");
    if (there && !force) throw Failure(already_exists(path));
    if (reached && !S_ISREG(target.st_mode)) {
        fd_ = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0) throw Failure(path + ": cannot open: " + std::strerror(errno));
        return;
    }
    HoldInterrupts hold;
    std::string temp = path + ".cmpr-XXXXXX";
    fd_ = mkostemp(temp.data(), O_CLOEXEC);
    if (fd_ < 0) throw Failure(path + ": cannot create: " + std::strerror(errno));
    temp_ = temp;
    if (temp_.size() < sizeof g_temp) {
        std::memcpy(g_temp, temp_.c_str(), temp_.size() + 1);
        g_temp_set = 1;
    }
}

OutputFile::~OutputFile() {
    if (fd_ >= 0 && !is_std_stream(path_)) close(fd_);
    if (temp_.empty()) return;
    unlink(temp_.c_str());
    g_temp_set = 0;  // after the unlink: an interrupt in between finds nothing left to do
}

void OutputFile::write(std::span<const uint8_t> data, const OnBytes &on_write) {
    const std::string name = is_std_stream(path_) ? "<stdout>" : path_;
    size_t done = 0;
    while (done < data.size()) {
        ssize_t put = ::write(fd_, data.data() + done, std::min(data.size() - done, kPiece));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0)
            throw Failure(name + ": write failed: " + std::strerror(put < 0 ? errno : EIO));
        done += static_cast<size_t>(put);
        if (on_write) on_write(done, data.size());
    }
}

void OutputFile::commit() {
    if (is_std_stream(path_)) return;
    const int fd = fd_;
    fd_ = -1;
    if (temp_.empty()) {  // written through
        if (close(fd) != 0) throw Failure(path_ + ": write failed: " + std::strerror(errno));
        return;
    }
    // The new file gets the permissions a plainly created one would.
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0 || close(fd) != 0)
        throw Failure(path_ + ": write failed: " + std::strerror(errno));
    HoldInterrupts hold;
    if (rename_new(temp_, path_, force_) != 0)
        throw Failure(errno == EEXIST ? already_exists(path_)
                                      : path_ + ": write failed: " + std::strerror(errno));
    temp_.clear();
    g_temp_set = 0;
}

void refuse_own_output(const std::string &in, const std::string &out) {
    struct stat a, b;
    if (is_std_stream(out) || stat(out.c_str(), &b) != 0) return;
    const bool got = is_std_stream(in) ? fstat(STDIN_FILENO, &a) == 0 : stat(in.c_str(), &a) == 0;
    if (got && a.st_dev == b.st_dev && a.st_ino == b.st_ino)
        throw Failure(display_name(in) + ": is its own output; left alone");
}

}  // namespace cmpr_tool
