// Test support: a buffer placed against an unmapped guard page.
#ifndef CMPR_TESTS_GUARDED_BUFFER_H
#define CMPR_TESTS_GUARDED_BUFFER_H

#include <cstddef>
#include <cstdint>

namespace cmpr_test {

// Maps pages with an inaccessible page before and after the usable ones.
// data_at_end() is 'size' bytes ending exactly at the following guard page;
// data_at_start() is 'size' bytes starting exactly after the leading one.
class GuardedBuffer {
   public:
    explicit GuardedBuffer(std::size_t size);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer &) = delete;
    GuardedBuffer &operator=(const GuardedBuffer &) = delete;

    uint8_t *data_at_end() const { return usable_ + usable_size_ - size_; }
    uint8_t *data_at_start() const { return usable_; }
    std::size_t size() const { return size_; }

   private:
    std::size_t size_;
    std::size_t page_;
    std::size_t usable_size_;
    uint8_t *base_;
    uint8_t *usable_;
};

}  // namespace cmpr_test

#endif
