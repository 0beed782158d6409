/// @file weavix.h
/// Weavix, the MPEG system-stream multiplexer (libweavix.so): joins a video
/// and an audio elementary stream into one system stream. Exports are
/// reached by ordinal through WeavixProc (ordinals in brackets); Orvand
/// loads the library by its file name.
///
/// The inputs are recognised by their content, whatever their names: MPEG-1
/// or MPEG-2 video (from its sequence header) and MPEG audio Layers I-III
/// (from its frame headers). Nothing is decoded: the framers cut the streams
/// at start codes and frame headers and time them from picture types,
/// temporal references and audio frame lengths. The output form follows
/// the inputs:
///   - Video CD (2324-byte packs, mux rate 1,411,200 bit/s): MPEG-1 video of
///     352x240 or 352x288 at 1,150,000 bit/s with 44.1 kHz Layer II sound;
///   - MPEG-1 system stream: any other MPEG-1 video, or sound alone;
///   - DVD-style program stream: MPEG-2 video.
/// Video goes on stream 0xE0 and sound on 0xC0; both start at the same time.
///
/// One multiplex at a time; WeavixProgress and WeavixCancel may be called
/// from any thread while it runs.
#ifndef WEAVIX_WEAVIX_H
#define WEAVIX_WEAVIX_H

#include <stdint.h>

#if defined(__GNUC__)
#define WEAVIX_API __attribute__((visibility("default")))
#else
#define WEAVIX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/// [1] Multiplexes the two elementary streams into out_path. Either input
/// may be null, missing or empty (the other is multiplexed alone). The
/// output is written under a temporary name beside out_path and takes its
/// name only on success. Returns 1 on success; 0 when neither input holds a
/// stream, an input is not MPEG video or audio, another multiplex runs, a
/// write fails or the run was cancelled; then out_path is left as it was.
/// Damaged stretches inside an input are skipped and counted.
WEAVIX_API int32_t WeavixMultiplex(const char *video_path, const char *audio_path, const char *out_path);

/// [2] Percent (0..100) of the input bytes consumed by the running (or last)
/// multiplex; 100 once it succeeded. Safe from any thread.
WEAVIX_API int32_t WeavixProgress(void);

/// [3] Stores a flag (the joiner sets 0 and then 1 before a join). The
/// multiplex does not depend on it. Returns the value stored.
WEAVIX_API int32_t WeavixSetFlag(int32_t flag);

/// [4] Asks the running multiplex to stop; it then returns 0 and leaves no
/// output. Safe from any thread; does nothing when none runs.
WEAVIX_API void WeavixCancel(void);

/// [5] Stretches of input skipped as damaged by the running or last multiplex.
WEAVIX_API int32_t WeavixSkipped(void);

/// Export with the given ordinal, or null.
WEAVIX_API void *WeavixProc(int32_t ordinal);

#ifdef __cplusplus
}
#endif

#endif /* WEAVIX_WEAVIX_H */
