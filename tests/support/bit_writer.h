// Test support: builds bit streams by hand, packed as the codec packs them
// (each byte from its least significant bit up).
#ifndef CMPR_TESTS_BIT_WRITER_H
#define CMPR_TESTS_BIT_WRITER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cmpr_test {

class BitWriter {
   public:
    // 'n' bits of 'value', least significant first: extra bits, raw fields.
    BitWriter &bits(uint32_t value, int n) {
        for (int i = 0; i < n; ++i) bits_.push_back(static_cast<uint8_t>((value >> i) & 1u));
        return *this;
    }

    // 'n' bits of 'code', most significant first: codes.
    BitWriter &code(uint32_t code, int n) {
        for (int i = n - 1; i >= 0; --i) bits_.push_back(static_cast<uint8_t>((code >> i) & 1u));
        return *this;
    }

    // A literal/length symbol (0-287) in the fixed code.
    BitWriter &sym(uint32_t s) {
        if (s < 144) return code(s + 0x30, 8);
        if (s < 256) return code(s + 0x100, 9);
        if (s < 280) return code(s - 256, 7);
        return code(s - 88, 8);
    }

    // Literal bytes of a string.
    BitWriter &text(const char *s) {
        while (*s != '\0') sym(static_cast<uint8_t>(*s++));
        return *this;
    }

    // A 5-bit distance code.
    BitWriter &dist(uint32_t c) { return code(c, 5); }

    // What a writer puts at the end of a segment: the end code, one more zero
    // bit and zero bits up to the next byte.
    BitWriter &end_segment() {
        sym(256).bits(0, 1);
        while (bits_.size() % 8 != 0) bits_.push_back(0);
        return *this;
    }

    // Zero bytes up to the next multiple of 'n' bytes.
    BitWriter &pad_to(size_t n) {
        while (bits_.size() % (8 * n) != 0) bits_.push_back(0);
        return *this;
    }

    std::size_t bit_count() const { return bits_.size(); }

    // The stream, its last byte filled with zero bits.
    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> out((bits_.size() + 7) / 8, 0);
        for (std::size_t i = 0; i < bits_.size(); ++i)
            out[i / 8] = static_cast<uint8_t>(out[i / 8] | bits_[i] << (i % 8));
        return out;
    }

   private:
    std::vector<uint8_t> bits_;
};

}  // namespace cmpr_test

#endif
