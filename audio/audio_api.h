/// @file
/// Lunaret, the audio engine (liblunaret.so): its whole public face.
///
/// There is one audio engine per process and no export takes a handle: every
/// call works on the library's global state. The engine pulls the audio of
/// the source that Dravik has open (or of an audio-only file opened here by
/// path), decodes it to 16-bit PCM and plays it through its output device,
/// whose position is the playback clock. The converters use the same library
/// without a device and pull decoded blocks with AudioCommand(AUDIO_CMD_DECODE_BLOCK).
///
/// Results follow the suite's conventions: 1/0 for success, -1 for "none" or
/// failure where a value is expected; a command that does not apply returns 0
/// and changes nothing. No export throws, shows messages or keeps error text.
///
/// Typical orders of calls:
///
///   Player:    AudioSetRateMode(0); AudioSetChannelMode(AUDIO_CHANNEL_STEREO);
///              AudioOpenStream(tag); AudioOpenOutput(owner);      // or AudioOpenFile(path)
///              AudioCommand(AUDIO_CMD_SET_FLUSH_LIMIT, level); AudioPlay();
///              ... AudioGetPlayTime() as the clock, AudioCommand(AUDIO_CMD_END_OF_STREAM, 0) ...
///              AudioHalt() before a reposition, AudioFlush() after it;
///              AudioStop(); AudioClose();
///
///   Converter: AudioSetRateMode(AUDIO_RATE_FULL); AudioCommand(AUDIO_CMD_SET_ECHO, 0);
///              AudioOpenStream(tag); AudioOpenOutput(NULL);
///              int32_t bytes;
///              for (;;) {
///                const int16_t *pcm = (const int16_t *)AudioCommand(AUDIO_CMD_DECODE_BLOCK,
///                                                                   (intptr_t)&bytes);
///                if (AudioCommand(AUDIO_CMD_END_OF_STREAM, 0)) break;
///                consume(pcm, bytes);   // valid until the next decoding call
///              }
///              AudioClose();
///
/// Threads: the exports may be called from any one controlling thread at a
/// time (the player's control thread or a converter's worker). The engine's
/// own thread fills and writes output buffers; Dravik's callback thread
/// hands buffers back through AudioQueueBuffer's callback.
#ifndef LUNARET_AUDIO_API_H
#define LUNARET_AUDIO_API_H

#include <stdint.h>

#if defined(__GNUC__)
#define LUNARET_API __attribute__((visibility("default")))
#else
#define LUNARET_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/// The tag that AudioOpenStream takes (and that SysControl(CTL_SOURCE_HANDLE)
/// reports) for an AVI source: the characters "AVIF" read as a little-endian word.
#define AUDIO_TAG_AVI 0x46495641

/// Audio source kinds (AudioCommand(AUDIO_CMD_SOURCE_KIND) and AudioOpenStream's result).
enum AudioSourceKind {
  AUDIO_SOURCE_NO_AUDIO = -1,   ///< the source has no audio stream
  AUDIO_SOURCE_MPEG_AUDIO = 0,  ///< MPEG audio (ids 0xC0-0xDF) or an audio-only file
  AUDIO_SOURCE_AC3 = 1,         ///< AC-3 (sub-ids 0x80-0x87, or a file starting 0x0B77)
  AUDIO_SOURCE_LPCM = 2,        ///< DVD linear PCM (sub-ids 0xA0-0xA7)
  AUDIO_SOURCE_AVI_AUDIO = 3,   ///< the audio stream of an AVI file
  AUDIO_SOURCE_PUSH_PCM = 4     ///< PCM pushed by the source plug-in
};

/// Channel modes (AudioSetChannelMode).
enum AudioChannelMode {
  AUDIO_CHANNEL_LEFT_ONLY = 0,   ///< mono output of the left channel
  AUDIO_CHANNEL_RIGHT_ONLY = 1,  ///< mono output of the right channel
  AUDIO_CHANNEL_STEREO = 2,      ///< both channels interleaved (the default)
  AUDIO_CHANNEL_MIX = 3          ///< both channels mixed into one mono output
};

/// Rate modes (AudioSetRateMode).
enum AudioRateMode {
  AUDIO_RATE_FULL = -1,   ///< every output sample computed (the converters' choice)
  AUDIO_RATE_NORMAL = 0,  ///< the stream's rate, the playback default
  AUDIO_RATE_HALF = 1     ///< every second output sample: half the stream's rate
};

/// AudioCommand codes. "arg" is the second argument, "->" the result.
enum AudioCommandCode {
  AUDIO_CMD_END_OF_STREAM = 1,  ///< -> 1 once a fill produced no data
  AUDIO_CMD_CAPTURE_START =
      2,  ///< arg: file descriptor or -1; starts WAV capture (writes the 44-byte header)
  AUDIO_CMD_CAPTURE_FINISH = 3,  ///< completes the WAV header of the capture and ends it
  AUDIO_CMD_DECODE_BLOCK =
      4,  ///< one synchronous block; arg: int32_t * for the byte count or 0; -> address of the PCM
  AUDIO_CMD_OUTPUT_START = 5,      ///< starts output (as AudioPlay, without the playing flag)
  AUDIO_CMD_OUTPUT_STOP = 6,       ///< stops output (closes the device)
  AUDIO_CMD_RATE_SUPPORTED = 7,    ///< arg 22050 or 44100: -> 1 if the device plays that rate
  AUDIO_CMD_RATE_CHANNELS = 8,     ///< arg 22050 or 44100: -> 2 stereo, 1 mono only, 0 none
  AUDIO_CMD_COPY_RAW = 9,          ///< arg: descriptor; copies 2,048 raw audio bytes to it; -> bytes written
  AUDIO_CMD_COPY_RAW_SYNCED = 10,  ///< as 9, but from the first position holding the sync word
  AUDIO_CMD_WAV_HEADER = 11,       ///< arg: descriptor; writes the 44-byte WAV header of the output format
  AUDIO_CMD_DECODE_TO_FILE = 12,   ///< arg: descriptor; appends one decoded block; -> bytes
  AUDIO_CMD_WAV_FINISH = 13,       ///< arg: descriptor; completes the WAV header's sizes
  AUDIO_CMD_LAYER = 14,            ///< -> MPEG layer (1, 2, 3)
  AUDIO_CMD_RATE_INDEX = 15,  ///< -> MPEG sampling-frequency index; arg: int32_t * for the rate in Hz or 0
  AUDIO_CMD_CHANNEL_FORMAT =
      16,  ///< MPEG: -> header mode (0 stereo .. 3 single channel); others: *(int32_t *)arg := channels, -> 4
  AUDIO_CMD_DEVICE_HANDLE = 17,        ///< -> non-zero device reference while a device is open, 0 otherwise
  AUDIO_CMD_SCOPE_PAIR = 18,           ///< arg: AudioScopePair *; one AudioGetScope pair
  AUDIO_CMD_BITS_PER_SAMPLE = 19,      ///< -> bits per output sample
  AUDIO_CMD_SET_FRAMES_PER_FILL = 20,  ///< frames per buffer := arg clamped to 1..8 (arg <= 0 counts as 1)
  AUDIO_CMD_DEVICE_PAUSE = 21,         ///< pauses the device (engine state unchanged)
  AUDIO_CMD_DEVICE_RESTART = 22,       ///< restarts the paused device
  AUDIO_CMD_SET_ECHO = 23,             ///< echo delay := min(arg, 8) blocks of 2,304 values; 0 turns echo off
  AUDIO_CMD_POSITION_STALLED =
      24,  ///< -> 1 when no device, no buffer outstanding or the position did not move since the last call
  AUDIO_CMD_TIMING_RUN = 25,       ///< arg: AudioTimingRun *; decode/output timing run
  AUDIO_CMD_SET_FLUSH_LIMIT = 26,  ///< AudioFlush discards input down to arg bytes of ring level
  AUDIO_CMD_RESERVED_27 = 27,      ///< accepted; no effect
  AUDIO_CMD_RESERVED_28 = 28,      ///< accepted; no effect
  AUDIO_CMD_SET_QUEUE_CAP =
      29,  ///< buffers outstanding at the device := arg clamped to 1..40 (arg <= 0 counts as 1)
  AUDIO_CMD_BYTE_RATE = 30,    ///< -> audio-only file: AudioGetBitRate() / 8; else SysControl(CTL_BYTE_RATE)
  AUDIO_CMD_SOURCE_KIND = 31,  ///< -> AudioSourceKind
  AUDIO_CMD_OUTPUT_CHANNELS = 32,     ///< -> 2 in AUDIO_CHANNEL_STEREO, else 1
  AUDIO_CMD_SET_FILE_IO_A = 33,       ///< SysControl(CTL_SET_FILE_IO_A, arg); -> 0
  AUDIO_CMD_SET_PROBE_HOOK = 34,      ///< SysControl(CTL_SET_PROBE_HOOK, arg); -> 0
  AUDIO_CMD_SYNC_WORD = 35,           ///< -> the sync word frame search looks for
  AUDIO_CMD_PLAY_TIME = 36,           ///< -> AudioGetPlayTime()
  AUDIO_CMD_SET_AC3_MODE = 37,        ///< AC-3 decoder output mode := arg
  AUDIO_CMD_GET_AC3_MODE = 38,        ///< -> AC-3 decoder output mode
  AUDIO_CMD_MAX_CHANNELS = 39,        ///< -> highest channel count; arg: int32_t * for the layout mask or 0
  AUDIO_CMD_SPDIF_USABLE = 40,        ///< -> 1 if the device takes AC-3 over S/PDIF
  AUDIO_CMD_SET_PASSTHROUGH = 41,     ///< AC-3 digital pass-through switch := arg
  AUDIO_CMD_GET_PASSTHROUGH = 42,     ///< -> AC-3 digital pass-through switch
  AUDIO_CMD_SET_CAPTURE_WRITER = 43,  ///< arg: AudioCaptureWriter * (0 = write through the descriptor)
  AUDIO_CMD_EDIT_LAYOUT = 44,         ///< -> AudioSpeakerLayout * of the layout being edited
  AUDIO_CMD_GET_ALT_TABLE = 45,       ///< -> alternate speaker table switch
  AUDIO_CMD_SET_ALT_TABLE = 46,       ///< alternate speaker table switch := arg
  AUDIO_CMD_GET_PRESET = 47,          ///< -> speaker preset number
  AUDIO_CMD_SET_PRESET = 48,          ///< speaker preset := arg; rebuilds the edited layout from it
  AUDIO_CMD_APPLY_LAYOUT = 49,        ///< copies the edited layout into the active one
  AUDIO_CMD_SET_MULTICHANNEL = 50,    ///< multichannel output switch := arg
  AUDIO_CMD_GET_MULTICHANNEL = 51,    ///< -> multichannel output switch
  AUDIO_CMD_WAVEOUT_HANDLE = 52,      ///< -> device reference when the plain device is in use, else 0
  AUDIO_CMD_GET_EQUALISER = 53,       ///< arg: int32_t[10]; copies the equaliser values out
  AUDIO_CMD_SET_EQUALISER = 54,       ///< arg: const int32_t[10]; copies them in and applies them
  AUDIO_CMD_GET_EQ_ENABLE = 55,       ///< -> equaliser enable value
  AUDIO_CMD_SET_EQ_ENABLE = 56        ///< equaliser enable value := arg
};

/// An output buffer header, laid out as the classic wave header with
/// pointer-sized fields where an address can travel. Offsets (LP64):
/// data 0, buffer_length 8, bytes_recorded 12, user 16, flags 24, loops 28,
/// next 32, reserved 40; 48 bytes in all. The engine owns every header and
/// its data; callers only hand headers back (AudioQueueBuffer).
typedef struct AudioWaveHeader {
  char *data;                    ///< the PCM bytes
  uint32_t buffer_length;        ///< capacity of data in bytes
  uint32_t bytes_recorded;       ///< bytes of data in use
  uintptr_t user;                ///< the engine's own word
  uint32_t flags;                ///< AUDIO_WHDR_DONE | AUDIO_WHDR_PREPARED
  uint32_t loops;                ///< unused (0)
  struct AudioWaveHeader *next;  ///< unused (null)
  uintptr_t reserved;            ///< device's own word
} AudioWaveHeader;

#define AUDIO_WHDR_DONE 0x1u      ///< the device has finished with the buffer
#define AUDIO_WHDR_PREPARED 0x2u  ///< the buffer is prepared for the device

/// One level pair of AudioGetScope (left, right; mono gives the same value twice).
typedef struct AudioScopePair {
  int32_t left;
  int32_t right;
} AudioScopePair;

/// What AudioCommand(AUDIO_CMD_TIMING_RUN) writes (five int32 values, 20 bytes).
typedef struct AudioTimingRun {
  int32_t frames;      ///< buffers decoded x frames per fill
  int32_t elapsed_ms;  ///< the whole run
  int32_t decode_ms;   ///< decoding, without the time spent reading input
  int32_t read_ms;     ///< reading input from the media layer
  int32_t write_ms;    ///< writing the buffers to the paused device
} AudioTimingRun;

/// Output channel per speaker role (AUDIO_CMD_EDIT_LAYOUT): [0] front left,
/// [1] front right, [2] centre, [3] LFE, [4] back centre or back left,
/// [5] back right, [6] unused, [7] side left, [8] side right.
typedef struct AudioSpeakerLayout {
  int32_t channel[9];
} AudioSpeakerLayout;

/// A writer that takes WAV capture output instead of a descriptor
/// (AUDIO_CMD_SET_CAPTURE_WRITER). Called on the thread that decodes (the
/// engine thread during playback); must outlive its installation.
typedef struct AudioCaptureWriter {
  void *context;
  /// Appends len bytes; returns the count written or -1.
  int32_t (*write)(void *context, const void *data, int32_t len);
  /// Moves to offset bytes from the start; returns the new position or -1.
  int32_t (*seek)(void *context, int32_t offset);
} AudioCaptureWriter;

/// Ordinal 61. Sets the channel mode (AudioChannelMode). When output is
/// prepared the engine re-initialises it for the new mode (the device, if
/// open, is reopened; decoding restarts at the next frame). Out-of-range
/// modes are ignored.
LUNARET_API void AudioSetChannelMode(int32_t mode);

/// Ordinal 62. Prepares decoding and output for the current source: finds
/// the first frame, learns rate and channels, chooses the output format and
/// allocates the 40 output buffers. owner is the host's window or display
/// record (kept, never dereferenced here); may be null. -> 1 ready, 0 failure
/// (no source, no frame, no format).
LUNARET_API int32_t AudioOpenOutput(void *owner);

/// Ordinal 63. Stops playback: closes the device if open. -> 1 when output
/// was prepared and usable, else 0.
LUNARET_API int32_t AudioStop(void);

/// Ordinal 64. Starts playback: opens the device if needed and hands every
/// buffer to the fill queue. -> 1 if the device is open afterwards, else 0.
LUNARET_API int32_t AudioPlay(void);

/// Ordinal 65. For a source opened by path: SysSeek(pos, mode) and its result.
/// Otherwise 0.
LUNARET_API int32_t AudioSeekFile(int32_t pos, int32_t mode);

/// Ordinal 66. The playback clock: milliseconds of output the device has
/// played since it was opened; -1 without a device.
LUNARET_API int32_t AudioGetPlayTime(void);

/// Ordinal 67. Opens an audio-only file by path (any length the file system
/// takes; copied during the call). Probes it with Dravik (SysProbe) and opens
/// it (SysOpen). -> the SysOpen result (a descriptor, -1 on failure), or 0
/// when the probe refuses the file (not audio, or cannot be read).
LUNARET_API int32_t AudioOpenFile(const char *path);

/// Ordinal 68. Closes output (device, buffers) and the source that
/// AudioOpenFile opened. -> 1 when output had been prepared, else 0.
LUNARET_API int32_t AudioClose(void);

/// Ordinal 69. Opens the audio of Dravik's currently open source. tag
/// AUDIO_TAG_AVI forces the AVI kind. -> the AudioSourceKind decided.
LUNARET_API int32_t AudioOpenStream(int32_t tag);

/// Ordinal 70. Resets decoding for data that follows a reposition of an
/// audio-only source (reader, sync word, decoder state). -> 1.
LUNARET_API int32_t AudioResetStream(void);

/// Ordinal 71. Flush after a seek: quiesces the engine thread, resets the
/// decoder, discards stale input and requeues every buffer. No effect while
/// paused.
LUNARET_API void AudioFlush(void);

/// Ordinal 72. Resets the device so that every written buffer returns; the
/// device stays open.
LUNARET_API void AudioHalt(void);

/// Ordinal 73. -> 1 if the output device offers 22.05 kHz or 44.1 kHz output.
LUNARET_API int32_t AudioDeviceUsable(void);

/// Ordinal 74. on != 0 pauses (closes the device, stops fills); 0 resumes
/// (reopens, flushes, refills). -> 1 if the device is open afterwards.
LUNARET_API int32_t AudioSetPause(int32_t on);

/// Ordinal 75. Volume word: left in the low 16 bits, right in the high 16
/// bits, 0..0xFFFF each. -> 0x80008000 when no device can be opened.
LUNARET_API uint32_t AudioGetVolume(void);

/// Ordinal 76. Sets (and keeps, re-applying at every device open) the
/// volume word. -> the volume before the call, or volume itself when no
/// device can be opened.
LUNARET_API uint32_t AudioSetVolume(uint32_t volume);

/// Ordinal 77. While the device is starving, waits until the engine
/// thread's current input read finishes; else returns at once. -> 0.
LUNARET_API int32_t AudioWaitRead(int32_t ignored);

/// Ordinal 78. Queues header for a fill through Dravik's callback queue
/// (SysQueueCallback). header must be one of the engine's own headers.
LUNARET_API void AudioQueueBuffer(AudioWaveHeader *header);

/// Ordinal 79. Sets the rate mode (AudioRateMode); when it differs from the
/// active one and output is prepared, re-initialises as a channel change does.
LUNARET_API void AudioSetRateMode(int32_t mode);

/// Ordinal 80. Stores a hint value that nothing reads. -> the value.
LUNARET_API int32_t AudioSetHint(int32_t hint);

/// Ordinal 81. MPEG audio, AC-3, LPCM: the stream bit rate in kbit/s shifted
/// left by 10; AVI and pushed PCM: 8000. 0 when nothing is known.
LUNARET_API int32_t AudioGetBitRate(void);

/// Ordinal 82. The command dispatcher (AudioCommandCode). Unknown codes
/// -> 0. Pointers passed in arg are used during the call only, except the
/// capture writer. Addresses returned (decoded PCM) stay valid until the
/// next decoding call.
LUNARET_API intptr_t AudioCommand(int32_t cmd, intptr_t arg);

/// Ordinal 83. Fills count pairs with the samples now playing (zeros
/// without a device). -> the final frame index.
LUNARET_API int32_t AudioGetScope(AudioScopePair *out, int32_t count);

/// The export with that ordinal number (61..83), or null for any other.
/// Cast it to the export's type.
LUNARET_API void *LunaretProc(int32_t ordinal);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // LUNARET_AUDIO_API_H
