// Test support: makes malloc fail on request.  The test binary is linked with
// --wrap=malloc, so calls from the library's objects land here.
#ifndef CMPR_TESTS_ALLOC_FAULTS_H
#define CMPR_TESTS_ALLOC_FAULTS_H

#include <cstddef>

namespace cmpr_test {

// While alive, malloc of exactly 'size' bytes returns null; counts the refusals.
class MallocFailure {
   public:
    explicit MallocFailure(std::size_t size);
    ~MallocFailure();
    int refused() const;
};

}  // namespace cmpr_test

#endif
