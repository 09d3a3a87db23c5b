// Test support: makes zlib's init calls fail on request.  The test binary is
// linked with --wrap for deflateInit_ and inflateInit_, so the library's calls
// land here and go on to zlib unless a failure is armed.
#ifndef CMPR_TESTS_ZLIB_FAULTS_H
#define CMPR_TESTS_ZLIB_FAULTS_H

namespace cmpr_test {

// While alive, the next init calls return 'result' instead of calling zlib.
class ZlibInitFailure {
   public:
    explicit ZlibInitFailure(int result);
    ~ZlibInitFailure();
};

}  // namespace cmpr_test

#endif
