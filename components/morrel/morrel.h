/*
 * Morrel: the AC-3 decoder of the audio engine. One call decodes one whole
 * AC-3 frame into 16-bit interleaved PCM at half scale (full scale is
 * 16,384: the engine doubles every sample with saturation).
 *
 * The engine relies only on what is written here:
 *  - MorrelOpen, then one MorrelDecode per frame, then MorrelClose;
 *  - 1,536 sample frames per decoded frame;
 *  - stereo setting (multichannel 0): two channels interleaved, the
 *    decoder's stereo downmix; output mode MORREL_MODE_MONO gives the mono
 *    downmix on both channels;
 *  - multichannel setting (multichannel 1): six channels interleaved in
 *    the order L, C, R, Ls, Rs, LFE; channels the frame lacks are zero, a
 *    mono frame lands in C and a single surround in Ls;
 *  - info->acmod and info->lfe describe the frame just decoded;
 *  - a frame the decoder rejects gives a frame of silence (and result 0);
 *  - nothing is written beyond output_capacity bytes.
 *
 * Every entry is safe to call from any thread on its own handle.
 * This build is a static library linked into the audio engine.
 */
#ifndef MORREL_MORREL_H
#define MORREL_MORREL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** Ordinal numbers of the entries. */
enum MorrelOrdinal { MORREL_ORD_DECODE = 1, MORREL_ORD_CLOSE = 2, MORREL_ORD_OPEN = 3 };

/** Sample frames of one AC-3 frame. */
#define MORREL_FRAME_SAMPLES 1536
/** Channels of the multichannel setting (L, C, R, Ls, Rs, LFE). */
#define MORREL_MULTI_CHANNELS 6
/** Largest AC-3 frame in bytes. */
#define MORREL_MAX_FRAME_BYTES 3840
/** Output mode that asks for the mono downmix on both channels. */
#define MORREL_MODE_MONO 1
/** Output mode of the multichannel setting. */
#define MORREL_MODE_MULTI 7

/** What one decode call reads. The engine zeroes it, then sets the fields.
 *  Offsets (LP64): input 0, output 8, input_length 16, output_capacity 20,
 *  output_mode 24, fixed 28, multichannel 44, dynamic_range 48,
 *  second_scale 56, reserved 64, channel_order 72, tail 80; 104 bytes. */
typedef struct Ac3Params {
  const uint8_t *input;    /**< the frame, starting 0x0B 0x77 */
  uint8_t *output;         /**< 16-bit interleaved PCM */
  int32_t input_length;    /**< the frame's length in bytes */
  int32_t output_capacity; /**< bytes of room at output */
  int32_t output_mode;     /**< MORREL_MODE_MONO: mono on both channels */
  int32_t fixed[4];        /**< 3, 0, 2, 0 */
  int32_t multichannel;    /**< 0 stereo setting, 1 six channels */
  double dynamic_range;    /**< dynamic range compression scale (1.0 full) */
  double second_scale;     /**< 1.0; unused */
  int32_t reserved[2];
  int32_t channel_order[2]; /**< 2, 1 stereo; 1, 2 multichannel; unused */
  int32_t tail[6];          /**< 3, 4, 5, 1, 1, 0; unused */
} Ac3Params;

/** What one decode call reports (38 ints, zeroed by the engine at reset). */
typedef struct Ac3Info {
  int32_t frame_bytes; /**< 0: the frame's length */
  int32_t sample_rate; /**< 1: Hz */
  int32_t bit_rate;    /**< 2: kbit/s */
  int32_t acmod;       /**< 3: audio coding mode 0..7 */
  int32_t channels;    /**< 4: channels written per sample frame */
  int32_t samples;     /**< 5: sample frames written */
  int32_t decoded;     /**< 6: 1 decoded, 0 silence for a rejected frame */
  int32_t lfe;         /**< 7: 1 when the frame carries LFE */
  int32_t reserved[30];
} Ac3Info;

/** [3] Opens a decoder; *handle receives it (also returned). flags and
 *  work are unused. 0 when no decoder can be made. */
void *MorrelOpen(void **handle, int32_t flags, void *work);

/** [1] Decodes params->input into params->output. Returns the bytes
 *  written (a frame of silence for a rejected frame, with info->decoded 0);
 *  0 when the arguments are unusable (nothing written then). */
int32_t MorrelDecode(void *handle, const Ac3Params *params, Ac3Info *info);

/** [2] Frees the decoder. A null handle is ignored. */
void MorrelClose(void *handle, int32_t flags);

/** The entry with the given ordinal, or null for an unknown one. */
void *MorrelProc(int32_t ordinal);

#ifdef __cplusplus
}
#endif

#endif
