// Internal: the distances and the window size that the compressor and the
// decoder hold to, each named once.
#ifndef CMPR_SRC_COMMON_FORMAT_H
#define CMPR_SRC_COMMON_FORMAT_H

#include <cstdint>

namespace cmpr {

// The compressor's window: the latest input positions, a ring indexed by
// mask.
inline constexpr uint32_t kCompressorWindowSize = 8192;
inline constexpr uint32_t kCompressorWindowMask = kCompressorWindowSize - 1;

// The largest distance the compressor uses.  A step at position p has the
// window filled up to p + 2, the last byte it hashes, so a candidate's three
// bytes are all still in the window up to this distance back.
inline constexpr uint32_t kMaxMatchDistance = kCompressorWindowSize - 3;

// The largest distance the decoder accepts silently.  A larger one means the
// stream is corrupt: it is reported and escalated, then decoded on.
inline constexpr uint32_t kMaxSilentDistance = 8192;

}  // namespace cmpr

#endif
