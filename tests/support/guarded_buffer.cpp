#include "guarded_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

namespace cmpr_test {

GuardedBuffer::GuardedBuffer(std::size_t size) : size_(size) {
    page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    usable_size_ = (size + page_ - 1) / page_ * page_;
    if (usable_size_ == 0) usable_size_ = page_;
    void *p =
        mmap(nullptr, usable_size_ + 2 * page_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) std::abort();
    base_ = static_cast<uint8_t *>(p);
    usable_ = base_ + page_;
    if (mprotect(usable_, usable_size_, PROT_READ | PROT_WRITE) != 0) std::abort();
}

GuardedBuffer::~GuardedBuffer() {
    munmap(base_, usable_size_ + 2 * page_);
}

}  // namespace cmpr_test
