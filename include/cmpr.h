/*
 * cmpr.h - the public interface of libcmpr.
 *
 * libcmpr compresses and restores memory buffers for a host daemon.  It has
 * two codecs side by side:
 *
 *   - cmprs_data() / decmprs_data(): one zlib stream per call (zlib format),
 *     present when CMPR_HAS_ZLIB (cmpr_config.h) is 1: a build for a target
 *     without zlib leaves them out;
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
 *   - Every name declared here, functions and variables alike (crc_table,
 *     put_bits, lut_lcode_7, litlen_tree, ...), is part of the interface and
 *     exported by the shared library.  A host must not define its own
 *     crc_table, put_bits or other such name: the linker would bind one of
 *     the two definitions for both the host and the library.
 *
 * Costs, measured on armhf (32-bit ARM, release build; docs/performance.md
 * says how):
 *   - Static storage, 77 KB in all (nearly all of it zeroed): the decoder's
 *     state with its 32 KiB history (32.8 KB) and code tables (2.3 KB); the
 *     compressor's hash table (32 KiB) and spare window (8 KiB); the CRC-32
 *     table (1 KiB); the tree roots and trace pointer (40 bytes).  A static
 *     image linked with --gc-sections keeps only what the calls it makes
 *     reach.  Read-only tables (decoding 16 KiB, CRC-32 16 KiB, compressor
 *     3.5 KiB) count as code.
 *   - Heap: gzip_cmprs() one malloc() of 8 KiB, freed before it returns;
 *     gzip_decmprs() none, a damaged buffer included.  Only add_symbol() and
 *     get_table() allocate besides: one malloc() per tree node they add,
 *     never freed.
 *   - Stack, the C library's included: gzip_cmprs() about 400 bytes;
 *     gzip_decmprs() about 200 bytes plus what the host's trace function
 *     takes (the default's formatting takes 2.9 KB in all).  A corrupt
 *     distance takes 10 KB: the C library formats its line to unbuffered
 *     standard error through an 8 KiB buffer on the stack; system() needs
 *     less than that (about 1.5 KB with Debian 12's glibc).
 *   - Reports: gzip_cmprs() none.  gzip_decmprs() one level-6 report per
 *     segment end (with the default trace function, a line on standard
 *     output).  Each corrupt distance: ten level-3 reports (fewer where dump
 *     rows are unreadable), 167 bytes on standard error, a flush of standard
 *     output and error, and "reboot -f" handed to system().
 *   - Escalation: once per corrupt distance, not once per call, and decoding
 *     goes on after each.  A buffer escalates as many times as it holds
 *     corrupt distances: at most one per 3 bytes (1365 in 4 KiB), 124 times
 *     in 4 KiB of random bytes.
 *   - Valgrind's memcheck reports the failure dumps' reads around the input
 *     (through the kernel, on purpose): run hosts with
 *     --suppressions=PREFIX/share/cmpr/valgrind.supp, installed with the
 *     library.
 */
#ifndef CMPR_H
#define CMPR_H

#include <stdint.h>
#include <stdio.h>

#include "cmpr_config.h"

#if defined(__GNUC__)
#define CMPR_API __attribute__((visibility("default")))
#else
#define CMPR_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ========================================================================== */
/*                              Shared types                                  */
/* ========================================================================== */

/*
 * A code: 'code' is used most significant bit first over 'len' bits; 'len' 0
 * means no code.  huffman() fills one; arrays of them, indexed by symbol,
 * carry code lengths into get_table() and its codes back out.
 * The code of one symbol: 'code' is the code value, sent most significant bit
 * first over its low 'len' bits; 'len' is the length in bits, 0 for "no code".
 * Arrays of them are indexed by symbol.
 */
typedef struct code_entry {
    int32_t code;
    int32_t len;
} code_entry;

/* ========================================================================== */
/*                               Trace hook                                   */
/* ========================================================================== */

/*
 * A trace function: printf-like.  'func' names the reporting function, 'line'
 * is a fixed number of the report site, 'level' is 3 for errors and 6 for
 * progress detail, 'fmt' is a printf format without a trailing newline.
 * The result is never read.
 *
 * The rows of a failure dump are reported with the format
 * "%p: %08X %08X %08X %08X %08X": the row's address as the C library prints
 * a pointer (glibc: 0x and only the hex digits the address needs, so its
 * width differs between 32-bit and 64-bit targets), then 20 bytes as five
 * words, each showing four bytes in memory order on every target.
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

#if CMPR_HAS_ZLIB

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

#endif /* CMPR_HAS_ZLIB */

/* ========================================================================== */
/*                    Own codec: compression and decompression                */
/* ========================================================================== */

/*
 * Room that gzip_cmprs() needs for 'n' input bytes: ceil(9n/8) + 1.  No
 * symbol costs more than 9 bits per input byte, and the segment end adds one
 * byte.  Evaluates to a 64-bit value.
 */
#define CMPR_GZIP_CMPRS_BOUND(n) ((((uint64_t)(n)) * 9u + 7u) / 8u + 1u)

/*
 * Compresses 'src_len' bytes (any length, 0 included) into one segment of the
 * own format in 'dst' and returns its length in bytes, at least 1.  'dst' must
 * hold CMPR_GZIP_CMPRS_BOUND(src_len) bytes; nothing is checked, and nothing
 * past the returned length is written (segments can be packed into a zeroed
 * buffer one after another).  The output depends only on the input.
 *
 * The call takes an 8 KiB window from the heap and frees it before returning;
 * should the heap fail, it works in a static spare window instead, so it
 * always succeeds with the same output.  Its hash table (32 KiB) is static
 * storage kept across calls, so that no call pays for clearing it.
 *
 * Not thread-safe: the input index and bit accumulator are library-wide, so
 * one compression at a time per process (one decompression may overlap it),
 * and no put_bits()/adv_window() of the host meanwhile.
 */
CMPR_API int32_t gzip_cmprs(const uint8_t *src, uint32_t src_len, uint8_t *dst);

/*
 * The most that gzip_decmprs() may write for 'n' input bytes:
 * 258 * (floor(8n / 13) + 1), as a uint64_t (it cannot overflow).  Every 13
 * bits can stand for a 258-byte match, and a match cut off by the end of the
 * input still counts.
 */
#define CMPR_GZIP_DECMPRS_BOUND(n) ((uint64_t)258 * (((uint64_t)(n)*8u) / 13u + 1u))

/*
 * Restores a buffer of one or more own-codec segments (each starting at a
 * multiple of 4 bytes, zero bytes between them) into 'dst' and returns the
 * number of bytes written: the segments' contents back to back.  'src' must
 * hold 'src_len' readable bytes (none are read when it is 0) and 'dst' must
 * hold CMPR_GZIP_DECMPRS_BOUND(src_len) bytes; nothing beyond the returned
 * count is written.  Each segment end is traced at level 6.  A distance
 * above 8192 is reported on standard error and through the trace function
 * with a dump of the bytes around 'src' (32 before it to 108 after its start;
 * unreadable rows are left out), then the unit is rebooted through the shell
 * ("reboot -f"), and decoding goes on.  An undefined code (only possible after
 * altering the lut_* tables) ends the process.  Counts are 32-bit: an
 * output of 4 GiB or more wraps, its count and its position in 'dst' both
 * taken modulo 2^32.  Resets and uses the library's decoder state and
 * tables: one decompression at a time per process (one compression may
 * overlap it).
 *
 * The end of the buffer: a segment that starts four bytes or less before
 * the end of 'src' is not decoded (the first segment excepted), so a last
 * segment of four bytes or less is only decoded when at least four more
 * bytes follow it.  That is why a host ends a buffer of joined segments with
 * four zero bytes.
 */
CMPR_API uint32_t gzip_decmprs(const uint8_t *src, uint32_t src_len, uint8_t *dst);

/* ========================================================================== */
/*                        CRC-32 and word output                              */
/* ========================================================================== */

/*
 * CRC-32 of gzip and PNG (reflected 0x04C11DB7).  crc_table[n] is the register
 * after feeding byte n into a zero register; crc_table_computed is 1 once the
 * table is built.  Both are zero at load; the first checksum builds the table
 * (safe when several threads make their first checksum at once, and beside a
 * make_crc_table call on another thread).
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

/* ========================================================================== */
/*                    Compressor steps                                        */
/* ========================================================================== */

/*
 * The compressor's per-byte steps, for hosts that drive it themselves.
 *
 * hashf(): the 13-bit hash (0..8191) of a 24-bit string register.
 *
 * adv_window(): shifts the next input byte (a zero byte once the input is
 * used up) into window slot *win_head & 0x1FFF and into bits 16-23 of
 * *str_reg, and sets *cur_pos = *win_head - 2, then *win_head += 1.  Reads
 * src at the library-wide input index, which only gzip_cmprs() resets.
 * Returns 0 while input bytes remain unread, -1 once all have been read.
 *
 * adv_history(): shifts window slot 'idx' (reduced to 0..8191) into bits 16-23
 * of *hist_reg.
 */
CMPR_API uint32_t hashf(uint32_t x);
CMPR_API int32_t adv_window(const uint8_t *src, uint32_t src_len, uint8_t *window,
                            uint32_t *win_head, uint32_t *str_reg, uint32_t *cur_pos);
CMPR_API void adv_history(uint32_t idx, const uint8_t *window, uint32_t *hist_reg);

/* ========================================================================== */
/*                      Encoder building blocks                               */
/* ========================================================================== */

/*
 * Appends 'nbits' bits of 'value' to 'dst' through the library-wide bit
 * accumulator: least significant first, or, with 'rev' non-zero, as a code,
 * most significant of the 'nbits' bits first.  Every byte completed is stored
 * at dst[*out_pos] and *out_pos advanced; *bit_cnt holds the pending bits
 * (0..7 on entry and on return).  With 'rev' 0, 'value' must have no bits at
 * or above 'nbits'.  A negative count writes nothing; counts above 32 write
 * 32 bits.  Returns 0.  One writer at a time per process (see gzip_cmprs());
 * begin with *bit_cnt 0, after a complete gzip_cmprs() or at load.
 */
CMPR_API int put_bits(uint32_t value, int32_t nbits, int32_t rev, uint32_t *bit_cnt, uint8_t *dst,
                      uint32_t *out_pos);

/*
 * The fixed literal/length code of symbol 0..287: 0-143 (sym + 0x30, 8 bits),
 * 144-255 (sym + 0x100, 9), 256-279 (sym - 0x100, 7), 280-287 (sym - 0x58, 8).
 */
CMPR_API void huffman(uint32_t sym, code_entry *out);

/*
 * Splits a match length 3..258 into its symbol (257..285, returned) and extra
 * bits (*xval, *xbits).  258 and above give 285 with no extra bits.
 */
CMPR_API uint32_t encode_length(uint32_t mlen, uint32_t *xval, uint32_t *xbits);

/*
 * Splits a distance 1..65535 into its 5-bit code (returned) and extra bits.
 * 1-5 are codes 0-4 without extra bits; from 6 on, a distance whose highest
 * set bit is m has code 2m + (bit m-1) and its low m-1 bits as extra bits.
 * 0 yields code 0, and distances above 65535 are coded as 65535.
 */
CMPR_API uint32_t encode_distance(uint32_t dist, uint32_t *xval, uint32_t *xbits);

/* ========================================================================== */
/*                   Bit reader and fixed-code tables                         */
/* ========================================================================== */

/*
 * Lookup tables of the fixed literal/length code, indexed by the next 7, 8 or
 * 9 stream bits (first bit read in bit 0).  An entry is a symbol (0-287) or
 * 0x8000 ("read one more bit"; only bit 15 is tested).  reverse5[i] is the
 * distance code whose five bits were read as i.  lut_ocode is reserved and
 * stays zero.  All are zero at load and rebuilt by lut_init(), which every
 * gzip_decmprs() calls; writing them only changes what later codes decode to.
 */
CMPR_API extern uint16_t lut_lcode_7[128];
CMPR_API extern uint16_t lut_lcode_8[256];
CMPR_API extern uint16_t lut_lcode_9[512];
CMPR_API extern uint8_t reverse5[32];
CMPR_API extern uint8_t lut_ocode[512];

/*
 * Returns the next 'n' bits of the current decompression's input 'src' (first
 * bit read in bit 0) and advances by 'n'; 'n' above 32 acts as 32.  Reads of
 * up to 25 bits are exact; wider reads advance exactly but may lack bits not
 * yet fetched.  Past the end of the input every bit is 0, and the input is
 * never read at or beyond its end.  Only between gzip_decmprs()'s reset and
 * the end of that decompression; not thread-safe.
 */
CMPR_API uint32_t get_bits(const uint8_t *src, uint32_t n);

/*
 * The low 'width' bits of 'value' in reverse order (bit i goes to bit
 * width-1-i), higher bits dropped; 0 when 'width' <= 0.  Bits that would land
 * above bit 31 (width > 32) are dropped too.  Pure; thread-safe.
 */
CMPR_API uint32_t reverse(uint32_t value, int32_t width);

/*
 * Builds lut_lcode_7/8/9 and reverse5 from scratch (same result every call).
 * Not thread-safe: nothing may decode while it runs.
 */
CMPR_API void lut_init(void);

/*
 * Reads the next literal/length symbol (0-287; 7, 8 or 9 bits) through the
 * lookup tables.  If the 9-bit entry is still 0x8000, which only altered
 * tables allow, writes "ERROR: undefined huffman code" to standard error,
 * reports it and ends the process with exit(-1).  Same rules as get_bits().
 */
CMPR_API uint32_t get_lcode(const uint8_t *src);

/* Reads the next distance code (5 bits) and returns reverse5[] of them. */
CMPR_API uint32_t get_ocode(const uint8_t *src);

/* ========================================================================== */
/*                              Code trees                                    */
/* ========================================================================== */

/*
 * One node of a code tree: 'zero' and 'one' are the children for a 0 and a 1
 * bit (null when absent); 'leaf' is 0x10000 | symbol where a code ends, else
 * 0.  Nodes below a root are malloc()ed one at a time by add_symbol() and
 * never freed by the library; a caller who wants them back frees them itself
 * (e.g. before rebuilding the root).
 */
typedef struct tree_node {
    struct tree_node *zero;
    struct tree_node *one;
    uint32_t leaf;
} tree_node;

/* Library-owned roots for the literal/length, distance and code-length codes;
 * empty at load. */
CMPR_API extern tree_node litlen_tree, offset_tree, code_length_tree;

/*
 * Gives each of the 'count' entries of 'table' whose 'len' is 1-16 its
 * canonical code (lengths counted, codes assigned in increasing symbol
 * order), then replaces the tree under 'root' with those codes.  Entries of
 * any other length keep their 'code' and are not inserted; a negative
 * 'count' counts as 0.  The old nodes are not freed; 'root->leaf' is kept.
 * Over-subscribed lengths overlap: later leaves replace earlier ones.
 */
CMPR_API void get_table(code_entry *table, int32_t count, tree_node *root);

/*
 * Inserts the low 'bits_left' bits of 'code' (most significant first) below
 * 'node', giving every node passed both children, and stores 0x10000 | 'sym'
 * at the node reached (with 'bits_left' 0, at 'node' itself).  A negative
 * code may stop early without storing; a negative 'bits_left' inserts
 * nothing; a failed allocation leaves that branch absent.  'full_len' is not
 * used.  Returns 0.
 */
CMPR_API int32_t add_symbol(uint32_t sym, int32_t code, int32_t full_len, int32_t bits_left,
                            tree_node *node);

/*
 * Decodes one symbol by walking from 'node', one get_bits() bit per node
 * without a leaf; returns the low 16 bits of the first leaf.  A bit for which
 * the child is missing (an empty tree, or a code no length set begins with)
 * writes "null tree" to standard error, reports it and ends the process with
 * exit(-1).  A null 'node' counts as an empty tree.  'depth' only counts
 * levels (pass 0).  Same rules as get_bits().
 */
CMPR_API uint32_t get_symbol(const uint8_t *src, int32_t depth, tree_node *node);

/* The symbol at position 'pos' (0-18) of the code-length code's fixed order
 * 16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15; 0 for any
 * other position.  Thread-safe. */
CMPR_API uint32_t halph_order(uint32_t pos);

/*
 * For each value 0..'max_code' (none when negative) prints "code = %.2x   "
 * and the get_direct() walk of that value on standard output.  The leaf
 * line's node address is printed whole, as 0x and lowercase hex digits
 * zero-padded to at least 8: exactly 8 on a 32-bit unit (armhf); on a 64-bit
 * machine as many as the address needs, up to 16 (12 for a typical x86-64
 * heap address), never cut to 32 bits.
 * Not thread-safe with respect to changes of the tree.
 */
CMPR_API void dump_tree(tree_node *root, int32_t max_code);

/*
 * Walks from 'node' taking bit 'level', 'level'+1, ... of 'value' (least
 * significant first), printing one '0'/'1' per level passed, then
 * "\t\ttree ptr 0x<address>  =  0x<leaf word>\n" at the first leaf, whose
 * low 16 bits it returns.  A node without a leaf and without the child needed
 * prints "\t\tno code\n" and gives 0; a negative value may also stop with 0
 * and nothing printed.  Flushes standard output.
 */
CMPR_API uint32_t get_direct(int32_t value, int32_t level, tree_node *node);

/* ========================================================================== */
/*                         Block decoder                                      */
/* ========================================================================== */

/*
 * Decodes symbols into 'dst' from the current position of the bit reader,
 * output count and history, which gzip_decmprs() resets and primes (calling
 * this otherwise continues the last decompression).  'mode' 1 reads the fixed
 * code, 3 reads plain 9-bit symbols and 5-bit distance codes, any other value
 * walks 'lit_tree' and 'dist_tree' (unused in modes 1 and 3).  Stops after an
 * end code whose 32-bit alignment leaves at most 4 input bytes; returns 0.
 * It also stops, without writing it, at a symbol other than the end code
 * read when nothing but zero bits is left (rest of the input and beyond), or
 * at one that took no bits at all: either would repeat for ever.  Symbols
 * above 287 act as 287 (length 258) and distance codes above 31 as 31.  A
 * distance above 8192 is reported and escalated as by gzip_decmprs().  'dst'
 * gets every decoded byte, unchecked: in tree mode the caller's codes set the
 * bound.  Not thread-safe (library-wide decoder state).
 */
CMPR_API int32_t decode_block(const uint8_t *src, int32_t mode, tree_node *lit_tree,
                              tree_node *dist_tree, uint8_t *dst);

#ifdef __cplusplus
}
#endif

#endif /* CMPR_H */
