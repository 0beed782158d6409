/*
 * Tonvale: the 10-band equaliser applied to each output block of the audio
 * engine, 16-bit interleaved PCM, processed in place.
 *
 * The audio engine relies only on what is written here. It builds one
 * equaliser per real output device: construct on its own 64-byte block,
 * set the format with the band table scaled to the device's rate, set the
 * gains, then process every block before it is written; destroy at device
 * close. The enable value and the gains may change at any time.
 *
 * Band table: each entry is the centre frequency in Hz of one peaking band
 * at the rate given; entries may repeat (their gains then add) and an entry
 * of 0 or at or above half the rate leaves its band out. Gains are whole
 * decibels, -24 to +24 (values beyond are clamped); 0 leaves a band flat.
 * The enable value: 0 passes blocks through untouched, anything else
 * equalises. A new equaliser is disabled with all gains 0.
 *
 * Every entry is safe to call from any thread; calls on one object are
 * serialised inside. Every entry answers 0 when it cannot do its job and
 * then leaves the caller's data alone.
 *
 * This build is a static library linked into the audio engine.
 */
#ifndef TONVALE_TONVALE_H
#define TONVALE_TONVALE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** Bytes of the caller's block that an equaliser is built on. */
#define TONVALE_OBJECT_SIZE 64
/** Bands of one equaliser. */
#define TONVALE_BANDS 10
/** Channel counts accepted by TonvaleSetFormat. */
#define TONVALE_MAX_CHANNELS 8
/** Gain limits in decibels. */
#define TONVALE_MAX_GAIN_DB 24

/** Ordinal numbers of the entries. */
enum TonvaleOrdinal {
  TONVALE_ORD_CONSTRUCT = 1,
  TONVALE_ORD_DESTROY = 2,
  TONVALE_ORD_SET_FORMAT = 3,
  TONVALE_ORD_SET_GAINS = 4,
  TONVALE_ORD_PROCESS = 5,
  TONVALE_ORD_SET_ENABLE = 6
};

/** [1] Builds an equaliser on block (TONVALE_OBJECT_SIZE bytes, owned by the
 *  caller and kept until TonvaleDestroy). Returns block as the object, or 0
 *  when block is null or memory is short. The object has no format yet:
 *  blocks pass through unchanged until TonvaleSetFormat succeeds. */
void *TonvaleConstruct(void *block);

/** [2] Frees what TonvaleConstruct took. The block may be reused after. A
 *  null or already destroyed object is ignored. */
void TonvaleDestroy(void *object);

/** [3] Sets channels (1..8), rate (Hz, > 0) and the band table: band_count
 *  (1..10) centre frequencies in Hz. Clears the filters' memory. Returns 1,
 *  or 0 (format unchanged) for bad arguments. */
int32_t TonvaleSetFormat(void *object, int32_t channels, int32_t rate, int32_t band_count,
                         const int32_t *bands);

/** [4] Sets the 10 band gains in dB (copied). Returns 1, or 0 for a bad
 *  object or a null table. */
int32_t TonvaleSetGains(void *object, const int32_t *gains);

/** [5] Equalises frames frames of interleaved 16-bit samples from src into
 *  dst (the audio engine passes the same buffer twice; otherwise the two
 *  must not overlap). Each channel keeps its own filter memory from block
 *  to block. Results beyond the 16-bit range saturate. While disabled or
 *  without a format the samples are copied unchanged. Returns 1, or 0 for
 *  a bad object, null buffers or a negative count. */
int32_t TonvaleProcess(void *object, const void *src, void *dst, int32_t frames);

/** [6] Sets the enable value (0 off, else on). Switching on clears the
 *  filters' memory so no stale sound leaks in. Returns 1, or 0 for a bad
 *  object. */
int32_t TonvaleSetEnable(void *object, int32_t enable);

/** The entry with the given ordinal, or null for an unknown one. */
void *TonvaleProc(int32_t ordinal);

#ifdef __cplusplus
}
#endif

#endif
