/// @file sondral.h
/// Sondral, the MPEG audio encoder (libsondral.so): the calls the converters
/// make into it. Exports are reached by ordinal through SondralProc
/// (ordinals in brackets). The input is resampled to the output rate;
/// Layer II is coded by libavcodec's mp2 encoder, Layer I by our own.
///
/// One job at a time, from one worker thread, set up in this order:
///
///   SondralSetInputRate(48000); SondralSetInputBits(16); SondralSetChannels(2);
///   SondralSetLayer(2); SondralSetOutputRate(44100); SondralSetBitRate(224);
///   if (!SondralOpen("audio.mp2")) fail();
///   while (more) SondralWrite(pcm, bytes);   // any byte count
///   if (!SondralClose()) fail();             // a write failed on the way
///
/// The setters store values for the next SondralOpen and return the value
/// stored; a running job keeps the values it was opened with.
#ifndef SONDRAL_SONDRAL_H
#define SONDRAL_SONDRAL_H

#include <stdint.h>

#if defined(__GNUC__)
#define SONDRAL_API __attribute__((visibility("default")))
#else
#define SONDRAL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/// [1] Input sample rate in Hz (1000..192000).
SONDRAL_API int32_t SondralSetInputRate(int32_t hz);
/// [2] Bits per input sample: 16 (signed, little-endian).
SONDRAL_API int32_t SondralSetInputBits(int32_t bits);
/// [3] Input channels, 1 or 2 (interleaved, left first); the output has as many.
SONDRAL_API int32_t SondralSetChannels(int32_t channels);
/// [4] Output sample rate: 32000, 44100 or 48000 Hz.
SONDRAL_API int32_t SondralSetOutputRate(int32_t hz);
/// [5] Output bit rate in kbit/s. A rate the layer lacks takes the next legal
/// one up (Layer I: 32, 64, ... 448; Layer II: 32, 48, 56, 64, 80, 96, 112,
/// 128, 160, 192, 224, 256, 320, 384); above the layer's highest, the highest.
SONDRAL_API int32_t SondralSetBitRate(int32_t kbps);
/// [6] MPEG audio layer, 1 or 2.
SONDRAL_API int32_t SondralSetLayer(int32_t layer);

/// [7] Creates the output file and readies the encoder. Returns non-zero on
/// success; 0 and no file for a null or empty path, a layer other than 1
/// or 2, channels other than 1 or 2, input bits other than 16, an input or
/// output rate out of range, a bit rate of 0 or less, or while a job runs.
SONDRAL_API int32_t SondralOpen(const char *path);

/// [8] Appends PCM: interleaved 16-bit little-endian samples, any byte count
/// (a sample split across calls is joined). Returns 1 when taken, 0 when no
/// job runs or the job has failed.
SONDRAL_API int32_t SondralWrite(const void *pcm, int32_t bytes);

/// [9] Codes what is left, the last frame padded with silence, and closes
/// the file. Returns 1 when every write succeeded, 0 after a failure (or
/// when no job runs).
SONDRAL_API int32_t SondralClose(void);

/// Export with the given ordinal, or null.
SONDRAL_API void *SondralProc(int32_t ordinal);

#ifdef __cplusplus
}
#endif

#endif /* SONDRAL_SONDRAL_H */
