// Reading inputs and writing outputs for the tool, and the memory they live in.
#ifndef CMPR_TOOLS_FILE_IO_H
#define CMPR_TOOLS_FILE_IO_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace cmpr_tool {

// The library counts lengths in 32 bits, so no input may be longer.
inline constexpr uint64_t kMaxInput = UINT32_MAX;

// A buffer mapped from the system (an anonymous private mapping without a
// swap reservation): pages are committed only when first written.  A guarded
// region ends right at an inaccessible page, so that a write past its
// capacity faults instead of landing in other data.
class Region {
   public:
    Region() = default;
    // Maps 'capacity' bytes; throws OutOfMemory naming 'what' ("the input")
    // when the address space cannot hold them.  size() starts at 0.
    Region(uint64_t capacity, const std::string &what, bool guarded = false);
    ~Region();
    Region(Region &&other) noexcept;
    Region &operator=(Region &&other) noexcept;
    Region(const Region &) = delete;
    Region &operator=(const Region &) = delete;

    uint8_t *data() const { return p_; }
    size_t size() const { return size_; }
    size_t capacity() const { return cap_; }
    void set_size(size_t n);  // n <= capacity()
    // Grows an unguarded region to 'capacity' bytes, keeping its contents.
    void grow(uint64_t capacity, const std::string &what);
    std::span<const uint8_t> bytes() const { return {p_, size_}; }
    void swap(Region &other) noexcept;

   private:
    uint8_t *p_ = nullptr;  // the data; base_ + offset within the mapping
    uint8_t *base_ = nullptr;
    size_t size_ = 0;
    size_t cap_ = 0;
    size_t mapped_ = 0;
};

// "-" and "" stand for standard input or output.
bool is_std_stream(const std::string &path);

// The name that messages use for 'path'.
std::string display_name(const std::string &path);

// An input opened for reading: a file, or standard input for "-".
class InputFile {
   public:
    explicit InputFile(const std::string &path);  // throws Failure
    ~InputFile();
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    int fd() const { return fd_; }
    bool regular() const { return regular_; }
    // The bytes it holds, when it can tell: a regular file, or a device that
    // seeks to its end (a disk, a flash partition); not a pipe or a terminal.
    std::optional<uint64_t> length() const { return length_; }
    // Reads up to 'n' bytes, retrying on interruption; 0 only at the end.
    // Throws Failure when a device reads on past its length: /dev/zero and
    // its kind have no end to wait for.
    size_t read_some(uint8_t *buf, size_t n);

   private:
    std::string path_;
    int fd_;
    bool regular_ = false;
    std::optional<uint64_t> length_;
    uint64_t done_ = 0;  // bytes read so far
};

// Told of the bytes moved so far, of a total (0: not known); for progress.
using OnBytes = std::function<void(uint64_t done, uint64_t total)>;

// Reads the whole of 'path' into a region of its own size (a pipe's grows as
// it is read); refuses input longer than kMaxInput as soon as it passes it.
Region read_input(const std::string &path, const OnBytes &on_read = {});

// Writes to 'path' (standard output for "-"): into a temporary file beside
// it, renamed to 'path' by commit(), so that a failure leaves no partial
// file; a writer destroyed before commit() removes its temporary file, and
// so does an interrupt (see remove_output_on_interrupt()).  One at a time.
// A device node or a FIFO at 'path' (or a symbolic link to one) is written
// through instead; a directory, or a symbolic link to anything else, is
// refused.
class OutputFile {
   public:
    // Without 'force', anything that exists at 'path' is refused, both here
    // and when commit() would replace it.  Throws Failure.
    explicit OutputFile(const std::string &path, bool force = false);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;
    void write(std::span<const uint8_t> data, const OnBytes &on_write = {});  // throws Failure
    void commit();                                                            // throws Failure

   private:
    std::string path_, temp_;
    int fd_;  // standard output's, the temporary file's or the one written through
    bool force_;
};

// Refuses (Failure) an output that is the input itself under any name: the
// same file, reached by another name, a link, or standard input.
void refuse_own_output(const std::string &in, const std::string &out);

// From now on SIGINT, SIGTERM and SIGHUP remove the temporary file of the
// OutputFile being written before they end the process as they would have.
// A signal the process ignores stays ignored.
void remove_output_on_interrupt();

}  // namespace cmpr_tool

#endif
