/*
 * cmpr_check.h - reading own-codec segments without restoring them.
 *
 * libcmpr_check reads a buffer of segments the way gzip_decmprs() does (the
 * same symbols, the zero bits past the end, the end rule) but writes
 * nothing: it tells beforehand what the decoder would make of the buffer,
 * and where the buffer shows damage.  It needs nothing beyond the C library
 * and shares no state: every call may run on any thread at any time, beside
 * a decompression too.
 *
 * The pattern it is for, on a unit that restores records from flash:
 *
 *     cmpr_check_result r;
 *     if (cmpr_check(buf, len, RECORD_SIZE, &r) == CMPR_DAMAGE_NONE)
 *         n = gzip_decmprs(buf, len, out);         // r.out_len bytes, no escalation
 *     else
 *         log_damage(r.damage, r.damage_bit);      // skip it: no reboot, no garbage
 *
 * What it cannot see: segments carry no checksum.  A flipped bit that turns
 * one literal into another of the same code length, or one distance into
 * another that still reaches inside the segment, leaves no sign; nor do
 * whole segments lost or repeated at segment boundaries, unless the record
 * size shows it.  A checksum of the host's own is the only guard there.
 *
 * Cost: one pass over the buffer, no allocation, a constant few hundred
 * bytes of stack.  On a Cortex-A7 (armhf, counted under qemu) it takes 12.7
 * instructions per restored byte where gzip_decmprs() takes 9.5, on 4 KiB
 * records of mixed logs, package lists and code, and 17.1 against 10.5 on
 * log text: a check before restoring costs about one and a half restores,
 * where a restore of a damaged record can cost a reboot.
 */
#ifndef CMPR_CHECK_H
#define CMPR_CHECK_H

#include <stdint.h>

#if defined(__GNUC__)
#define CMPR_CHECK_API __attribute__((visibility("default")))
#else
#define CMPR_CHECK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The signs of damage a reading can see, each at a bit position counted
 * from the buffer's first bit.  A segment runs from its first symbol to
 * its end code; segments start on 4-byte boundaries with zero bytes
 * between them.
 */
enum cmpr_damage {
    CMPR_DAMAGE_NONE = 0,
    /* A distance above 8192 (value: the distance), just after its field.
     * gzip_decmprs() escalates every one of them: it hands "reboot -f" to
     * the shell, then decodes on. */
    CMPR_DAMAGE_FAR_DISTANCE = 1,
    /* A distance (value) reaching before the first byte of its own segment,
     * which no writer makes; the decoder copies older bytes, or 0xFF. */
    CMPR_DAMAGE_BEFORE_START = 2,
    /* The data ends inside a segment, before its end code. */
    CMPR_DAMAGE_NO_END = 3,
    /* A one bit between an end code and the next 4-byte boundary, where a
     * writer puts zeros (at that bit). */
    CMPR_DAMAGE_PADDING = 4,
    /* A segment (starting at that bit) whose output (value) is not the
     * record size; a shorter last segment is fine. */
    CMPR_DAMAGE_RECORD_SIZE = 5,
    /* A run of at least CMPR_ERASED_RUN bytes of 0xFF (value: its length),
     * as erased flash leaves it.  A writer makes such a run only in a rare
     * case (see CMPR_ERASED_RUN). */
    CMPR_DAMAGE_ERASED = 6,
    /* A run of at least CMPR_ZERO_RUN zero bytes (value: its length) with
     * more data after it: zeroed flash, which no writer leaves between
     * segments.  Zeros at the end of the buffer are no damage. */
    CMPR_DAMAGE_ZEROS = 7,
    /* Bytes after the last segment that the decoder does not read (at most
     * four non-zero bytes: a last segment too short for the end rule). */
    CMPR_DAMAGE_TRAILING = 8
};

/*
 * The shortest runs taken for erased or zeroed flash.  Inside a segment no
 * writer makes more than two zero bytes in a row, and at its end no more
 * than the end code's byte and three bytes of padding, so 16 zero bytes are
 * zeroed flash (or a host's filler, which the daemon does not write).  A
 * writer codes a run of 0xFF input bytes as matches, except while a hash
 * collision pins its table entry, when it may write up to 8193 literal 255s
 * (about 9 KiB of 0xFF); runs of 64 bytes are taken for erased flash all the
 * same, a guess that the tool confirms by re-compressing the segment.
 */
#define CMPR_ERASED_RUN 64
#define CMPR_ZERO_RUN 16

typedef struct cmpr_check_result {
    uint32_t escalations;  /* how many times gzip_decmprs() would escalate */
    uint32_t segments;     /* segment ends it would trace (an empty buffer
                              and leading zero filler count as one) */
    uint64_t out_len;      /* bytes it would write; it returns them modulo
                              2^32, the same for any output a host can hold */
    uint32_t damage;       /* the first sign of damage, enum cmpr_damage */
    uint32_t reserved;     /* 0 */
    uint64_t damage_bit;   /* where it lies, in bits from the buffer's start */
    uint64_t damage_value; /* what it is: see enum cmpr_damage */
} cmpr_check_result;

/*
 * Reads 'len' bytes of segments as gzip_decmprs() would and fills '*res'.
 * 'record_size' is the size of each record (each segment's output), or 0
 * when not known.  Returns res->damage: CMPR_DAMAGE_NONE when the buffer
 * shows no damage, and then gzip_decmprs() would not escalate.  The verdict
 * on escalations, out_len and segments is exact whatever the bytes hold.
 * Writes nothing but '*res', allocates nothing, reads only the buffer.
 */
CMPR_CHECK_API uint32_t cmpr_check(const uint8_t *buf, uint32_t len, uint32_t record_size,
                                   cmpr_check_result *res);

/*
 * One segment read on its own, as gzip_decmprs() would read it from a copy
 * of bytes 'start' to 'stop' of the buffer (zero bits after them).
 */
typedef struct cmpr_segment_reading {
    uint64_t end_bit;     /* just after its end code */
    uint64_t next;        /* the byte after its padding: its end code's
                             4-byte boundary, counted from 'start' */
    uint64_t out_len;     /* bytes it stands for */
    uint32_t escalations; /* its distances above 8192 */
    uint32_t damage;      /* its first sign of damage: FAR_DISTANCE,
                             BEFORE_START, NO_END or PADDING */
    uint64_t damage_bit;
    uint64_t damage_value;
} cmpr_segment_reading;

/*
 * Reads the segment at byte 'start' of 'buf', whose data ends at byte
 * 'stop' (start <= stop <= len; bits at and after 'stop' read as zero).
 * Returns r->damage.  Nothing is allocated.
 */
CMPR_CHECK_API uint32_t cmpr_read_segment(const uint8_t *buf, uint32_t len, uint32_t start,
                                          uint32_t stop, cmpr_segment_reading *r);

/*
 * The search for the next segment after damage, which may start at any byte
 * of the bytes up to 'stop'.  A finder keeps what its searches learnt, so
 * that searching on after a rejected start costs little: about one reading
 * of each bit in all, also where every start reads on for long (fill
 * patterns that decode as literals), because readings from different starts
 * that meet share the rest of the work.  It allocates its working memory
 * (about a byte per byte searched at most) and may run on any thread; one
 * finder serves one thread at a time.  Returns NULL when out of memory.
 */
typedef struct cmpr_finder cmpr_finder;
CMPR_CHECK_API cmpr_finder *cmpr_finder_new(const uint8_t *buf, uint32_t len, uint32_t stop);
CMPR_CHECK_API void cmpr_finder_free(cmpr_finder *f);

/*
 * The first byte 'c' from 'from' up to (not including) 'to' at which
 * cmpr_read_segment(buf, len, c, stop, r) reads cleanly and stands for
 * 'min_out' to 'max_out' bytes (at least 1).  Returns 1 and fills '*at' and
 * '*r' when there is one, 0 when there is none, -1 when out of memory.
 */
CMPR_CHECK_API int cmpr_find_segment(cmpr_finder *f, uint32_t from, uint32_t to, uint64_t min_out,
                                     uint64_t max_out, uint32_t *at, cmpr_segment_reading *r);

#ifdef __cplusplus
}
#endif

#endif
