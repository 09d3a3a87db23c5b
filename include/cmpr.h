/*
 * cmpr.h - the public interface of libcmpr.
 *
 * libcmpr compresses and restores memory buffers for a host daemon.  It has
 * two codecs side by side:
 *
 *   - cmprs_data() / decmprs_data(): one zlib stream per call (zlib format);
 *   - gzip_cmprs() / gzip_decmprs(): the library's own codec, a greedy LZ77
 *     with an 8 KiB window written as a headerless bit stream.
 *
 * and the building blocks of both, a table-driven CRC-32 and a trace hook.
 *
 * General rules:
 *   - Every buffer belongs to the caller.  No call is told the size of its
 *     output unless a parameter says so: the caller provides room for the
 *     largest possible result (see the bound macros below).
 *   - All diagnostics go through the function in cmpr_trc_fn.  Decoding
 *     errors of the own codec also write a line to standard error, and the
 *     gravest of them end the process.
 *   - Threads: the library takes no locks.  At most one own-codec compression
 *     and at most one own-codec decompression may run at a time in a process
 *     (one of each may overlap).  The zlib wrappers and the checksum may run
 *     on any number of threads at once.
 */
#ifndef CMPR_H
#define CMPR_H

#include <stdint.h>
#include <stdio.h>

#if defined(__GNUC__)
#define CMPR_API __attribute__((visibility("default")))
#else
#define CMPR_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ========================================================================== */
/*                               Trace hook                                   */
/* ========================================================================== */

/*
 * A trace function: printf-like.  'func' names the reporting function, 'line'
 * is a fixed number of the report site, 'level' is 3 for errors and 6 for
 * progress detail, 'fmt' is a printf format without a trailing newline.
 * The result is never read.
 */
typedef int (*trc_fn_t)(const char *func, int line, int level, const char *fmt, ...);

/*
 * The function every report goes through.  At load time it holds the
 * default, which prints "func-line: message\n" to standard output for every
 * level (messages longer than 1023 characters are cut there).  It is read
 * afresh at every report, so the host may also assign it directly; a null
 * value is never called (reports then go to the default).
 */
CMPR_API extern trc_fn_t cmpr_trc_fn;

/*
 * Installs 'fn' as the trace function; the last call wins.  A null 'fn'
 * reinstates the default.  Call it before any thread uses the library.
 */
CMPR_API void cmpr_api_init(trc_fn_t fn);

/* ========================================================================== */
/*                              zlib wrappers                                 */
/* ========================================================================== */

/*
 * Compresses 'src_len' bytes into one zlib-format stream (level 1) in 'dst',
 * which must hold at least 'src_len' bytes: zlib is given exactly that much
 * room.  Returns 0 when the whole stream fitted, 1 otherwise (input that does
 * not shrink, such as short or random data, fails).  '*out_len' receives the
 * number of bytes written whenever compression ran, also on failure; it is
 * untouched when zlib could not be initialised (reported with a dump of 'src').
 * Thread-safe.
 */
CMPR_API int cmprs_data(const uint8_t *src, uint32_t src_len, uint32_t *out_len, uint8_t *dst);

/*
 * Restores one zlib-format stream of 'src_len' bytes into 'dst', which holds
 * 'dst_size' bytes.  'dst' is first filled with "garbage" and zero bytes (the
 * last byte 0); with 'dst_size' 0 nothing is written.  Returns 0 when the
 * stream ended and its checksum matched, 1 otherwise; failures are reported
 * through the trace function with a dump starting 32 bytes before 'src'.
 * The restored length is not returned: the caller knows it.  Thread-safe.
 */
CMPR_API int decmprs_data(const uint8_t *src, uint32_t src_len, uint32_t dst_size, uint8_t *dst);

/* ========================================================================== */
/*                        CRC-32 and word output                              */
/* ========================================================================== */

/*
 * CRC-32 of gzip and PNG (reflected 0x04C11DB7).  crc_table[n] is the register
 * after feeding byte n into a zero register; crc_table_computed is 1 once the
 * table is built.  Both are zero at load; the first checksum builds the table
 * (safe when several threads make their first checksum at once).
 */
CMPR_API extern uint32_t crc_table[256];
CMPR_API extern int crc_table_computed;

/* Builds crc_table and sets crc_table_computed, whatever the flag says. */
CMPR_API void make_crc_table(void);

/*
 * Feeds 'len' bytes of 'buf' into the running register 'crc' and returns the
 * new register, without preset or final complement.  'len' <= 0 reads nothing.
 */
CMPR_API uint32_t update_crc(uint32_t crc, const uint8_t *buf, int32_t len);

/* The CRC-32 of 'len' bytes of 'buf' (0 for no bytes). */
CMPR_API uint32_t crc_gen(const uint8_t *buf, int32_t len);

/*
 * Writes 'count' bytes of 'word' to 'stream', least significant byte first;
 * positions past the fourth byte are written as zero bytes.  'count' <= 0
 * writes nothing.  Write errors are not checked (see ferror()); returns 0.
 */
CMPR_API int put_word(FILE *stream, int32_t count, uint32_t word);

#ifdef __cplusplus
}
#endif

#endif /* CMPR_H */
