/// @file video_api.h
/// The video engine `Kestrum` (libkestrum.so): its whole public face.
///
/// One engine per process. Every export works on the library's single global
/// state; none takes a handle. The library opens its source through the media
/// layer (libdravik) and drives the audio engine (liblunaret) itself.
///
/// Typical use by a program:
/// @code
///   VideoStartup();                                  // once per process
///   if (VideoOpen(&display, "film.mpg", NULL, 0)) {  // or NULL: engine window
///     VideoSeek(0, 0);
///     while (VideoStep()) {                          // stopped: step by hand
///       VideoCommand(VCMD_HOLD_PICTURE, 0);
///       const KestrumPlaneRecord *p =
///           (const KestrumPlaneRecord *)VideoCommand(VCMD_PLANE_RECORD, 0);
///       /* copy p->y, p->cb, p->cr now: they change at the next step */
///       VideoCommand(VCMD_RELEASE_PICTURE, 0);
///       if (VideoCommand(VCMD_AT_END, 0)) break;
///     }
///     VideoClose(1);
///   }
///   VideoShutdown();                                 // once at program end
/// @endcode
///
/// Results follow one convention: 1/0 for success/failure, -1 for "none"
/// where a value is expected; a command that does not apply returns 0 and
/// changes nothing. No export throws. Pictures, plane records and other
/// addresses handed out belong to the engine and stay valid only until the
/// next decoding step (or the next close); callers copy what they keep.
///
/// Threads: the exports may be called from any one controlling thread at a
/// time (a program's dialog or worker thread). The engine's own playback
/// thread decodes and presents while playing; host display callbacks are
/// called on that thread (or on the caller's thread for VideoStep and other
/// synchronous calls).
#ifndef KESTRUM_VIDEO_API_H
#define KESTRUM_VIDEO_API_H

#include <stddef.h>
#include <stdint.h>

#if defined(KESTRUM_BUILD)
#define KESTRUM_API __attribute__((visibility("default")))
#else
#define KESTRUM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Records                                                                   */
/* ------------------------------------------------------------------------ */

/// Plane record of a picture (VideoCommand VCMD_PLANE_RECORD and
/// VCMD_PLANE_TABLE): the Y, Cb and Cr plane addresses followed by their line
/// lengths (pitches) in bytes. 8-bit samples; chroma at half width and half
/// height (4:2:0); the sizes are the coded sizes, multiples of 16.
/// Offsets (LP64): y 0, cb 8, cr 16, y_pitch 24, cb_pitch 28, cr_pitch 32.
typedef struct KestrumPlaneRecord {
  uint8_t *y;
  uint8_t *cb;
  uint8_t *cr;
  int32_t y_pitch;
  int32_t cb_pitch;
  int32_t cr_pitch;
} KestrumPlaneRecord;

/// A picture as handed to a host display.
typedef struct KestrumPicture {
  const uint8_t *y;   ///< luma plane, y_pitch bytes per line
  const uint8_t *cb;  ///< Cb plane, c_pitch bytes per line
  const uint8_t *cr;  ///< Cr plane, c_pitch bytes per line
  int32_t y_pitch;
  int32_t c_pitch;
  int32_t width;          ///< display width (horizontal_size)
  int32_t height;         ///< display height (vertical_size)
  int32_t coded_width;    ///< allocated width, multiple of 16
  int32_t coded_height;   ///< allocated height, multiple of 16
  int32_t chroma_format;  ///< 1 = 4:2:0, 2 = 4:2:2, 3 = 4:4:4
  int32_t picture_type;   ///< 1 I, 2 P, 3 B; 0 when re-presenting while stopped
  /// How long the picture stays on screen, in field periods (half the frame
  /// period of VCMD_FRAME_RATE_CODE): 2 for a plain frame, 3 when it repeats
  /// a field (3:2 pull-down), 4 or 6 when a progressive sequence repeats the
  /// frame. Converters and players count time in these.
  int32_t fields;
} KestrumPicture;

/// Host display: what a program hands to VideoOpen in place of a window. The
/// engine presents each picture through it instead of its own window.
///
/// Every member may be null. The engine prefers present_planes; it calls
/// present_rgb (32 bits per pixel, B, G, R, 0 in memory, top-down) only when
/// present_planes is null and a colour converter is available. The record
/// and `user` must stay valid until VideoClose returns. Callbacks are called
/// on the playback thread while playing and on the calling thread for
/// VideoStep and re-presents; they must not call back into the engine.
typedef struct KestrumHostDisplay {
  /// Opaque value passed back to every callback.
  void *user;
  /// Present one picture as planes. The planes are valid during the call
  /// only. Return nonzero when the picture was shown.
  int32_t (*present_planes)(void *user, const KestrumPicture *picture);
  /// Present one picture as RGB pixels (see above), valid during the call.
  int32_t (*present_rgb)(void *user, const uint8_t *pixels, int32_t pitch, int32_t width, int32_t height);
  /// Report the size of the area the pictures are shown in (the engine uses
  /// it to keep the aspect and to size RGB output). Leave both untouched or
  /// write 0 to mean "the picture's own size".
  void (*target_size)(void *user, int32_t *width, int32_t *height);
} KestrumHostDisplay;

/// State record (VCMD_GET_STATE fills it, VCMD_SET_STATE restores the engine
/// from it). The design record is 36 bytes with 32-bit window addresses; here
/// the two address-carrying fields and the overlay field are pointer-sized
/// and keep their order. Offsets on LP64 (x86-64), total 56 bytes:
///
/// | off | width | field |
/// |-----|-------|-------|
/// | 0   | 1 | open |
/// | 1   | 1 | playing (not stopped) |
/// | 2   | 1 | closing |
/// | 3   | 1 | audio present |
/// | 8   | 8 | video window (display target) |
/// | 16  | 8 | window procedure address (filled by get, ignored by set) |
/// | 24  | 4 | audio rate mode |
/// | 28  | 4 | channel mode |
/// | 32  | 1 | real time |
/// | 33  | 1 | audio open |
/// | 34  | 1 | audio paused |
/// | 35  | 1 | 1 when monochrome |
/// | 36  | 1 | mono tint Cb (low byte) |
/// | 37  | 1 | mono tint Cr (low byte) |
/// | 38  | 1 | coefficient limit |
/// | 40  | 8 | overlay surface in use (1 for AVI sources) |
/// | 48  | 1 | hardware presentation in use |
/// | 49  | 1 | full screen |
/// | 50  | 1 | always 0 |
/// | 51  | 1 | open mode (0 video, 2 audio only) |
typedef struct KestrumStateRecord {
  uint8_t open;
  uint8_t playing;
  uint8_t closing;
  uint8_t audio_present;
  void *video_window;
  void *window_proc;
  int32_t audio_rate_mode;
  int32_t channel_mode;
  uint8_t real_time;
  uint8_t audio_open;
  uint8_t audio_paused;
  uint8_t monochrome;
  uint8_t mono_tint_cb;
  uint8_t mono_tint_cr;
  uint8_t coefficient_limit;
  uint8_t reserved39;
  intptr_t overlay_in_use;
  uint8_t direct_presentation;
  uint8_t full_screen;
  uint8_t zero;
  uint8_t open_mode;
} KestrumStateRecord;

/// Benchmark record (VCMD_BENCHMARK), 40 bytes, ten 32-bit integers.
typedef struct KestrumBenchmarkRecord {
  /// Pictures decoded, plus 20 when a processor-variant option
  /// (VCMD_VARIANT_83 or VCMD_VARIANT_85) is on.
  int32_t pictures;
  int32_t elapsed_ms;  ///< whole run
  int32_t decode_ms;   ///< spent decoding, minus the time spent reading
  int32_t read_ms;     ///< spent reading the stream
  int32_t present_ms;  ///< spent presenting
  /// The five values of the audio engine's benchmark (AudioCommand 25);
  /// -1, 0, 0, 0, 0 when it is not available.
  int32_t audio[5];
} KestrumBenchmarkRecord;

/// Frame-copy routine (VCMD_FRAME_COPY_SMOOTH, VCMD_FRAME_COPY): copies the
/// current picture into dest as bits_per_pixel 15, 16, 24 or 32, colour 1 or
/// monochrome 0, variant 0 or 1, with dest_pitch bytes per line. Returns 1
/// when it copied, 0 otherwise.
typedef int32_t (*KestrumFrameCopy)(int32_t bits_per_pixel, int32_t colour, int32_t variant, void *dest,
                                    int32_t dest_pitch);

/// Routine installed with VCMD_PLAY_WITH_CALLBACK: called once at once and
/// then before every presented picture of that play.
typedef void (*KestrumEndCallback)(void);

/// Routine installed with VCMD_SET_POST_FRAME_CALLBACK: called after each
/// picture is released with (video window, overlay visible flag).
typedef void (*KestrumPostFrameCallback)(void *window, int32_t overlay_visible);

/// The value whose four bytes spell "Pell" (little-endian); handed to
/// VCMD_SET_POST_FRAME_CALLBACK it is ignored.
#define KESTRUM_PELL_MARKER ((intptr_t)0x6C6C6550)

/// Source tag of an AVI file ("AVIF" read as a little-endian word).
#define KESTRUM_AVI_SOURCE_TAG 0x46495641

/* ------------------------------------------------------------------------ */
/* VideoCommand codes                                                        */
/* ------------------------------------------------------------------------ */

/// Codes of VideoCommand. "settings" codes work whether or not a file is
/// open; "stream" codes only while a file is open (otherwise they return 0);
/// "both" run the settings part first. arg and result are given as
/// "arg -> result".
///
/// The VCMD_VALUE_*, VCMD_GET_VALUE_* and VCMD_SET_VALUE_* codes hold values
/// of the display, subpicture, DVD and plug-in layers. Each pair has its own
/// stored value: the SET code stores arg and returns the old value, the GET
/// code returns the stored value (0 until set). A lone VCMD_VALUE_* code
/// stores arg and returns the old value.
enum KestrumCommand {
  VCMD_TOGGLE_COLOUR = 0,       ///< stream: toggle colour/monochrome, refresh
  VCMD_RATE_MODE_ONE = 1,       ///< stream: audio rate mode := 1
  VCMD_SET_RATE_MODE = 2,       ///< stream: mode -> audio rate mode := mode
  VCMD_TINT_CB_DOWN = 3,        ///< stream: mono tint Cb minus 4
  VCMD_TINT_CR_DOWN = 4,        ///< stream: mono tint Cr minus 4
  VCMD_FULL_SCREEN_ON = 5,      ///< stream: full screen on
  VCMD_FULL_SCREEN_OFF = 6,     ///< stream: full screen off
  VCMD_TOGGLE_AUDIO_PAUSE = 7,  ///< stream: toggle audio pause
  VCMD_STOP = 8,                ///< stream: stop playback and audio
  VCMD_PLAY = 9,                ///< stream: play (only when stopped)
  VCMD_SEEK_FORWARD = 10,       ///< stream: delta -> VideoSeek(delta, 1)
  VCMD_SEEK_BACKWARD = 11,      ///< stream: delta -> VideoSeek(delta, 1)
  VCMD_SET_CHANNEL_MODE = 12,   ///< both: 0..3 (others ignored)
  VCMD_VOLUME_UP = 13,          ///< stream: both channels +512
  VCMD_VOLUME_DOWN = 14,        ///< stream: both channels -512
  VCMD_SCAN_ON = 15,            ///< stream: VideoScanOn
  VCMD_STEP = 16,               ///< stream: VideoStep
  VCMD_VALUE_17 = 17,
  VCMD_BENCHMARK = 18,  ///< stream: KestrumBenchmarkRecord* -> 1/0
  VCMD_GET_STATE = 19,  ///< settings: KestrumStateRecord* -> 0
  VCMD_VALUE_20 = 20,
  VCMD_GET_TOTAL_LENGTH_AT = 21,  ///< stream: int32_t* -> *arg := total length
  VCMD_DECODED_SIZE = 22,         ///< stream: int32_t* height -> width
  VCMD_PLANE_TABLE = 23,          ///< stream: void** buffer -> KestrumPlaneRecord*
  VCMD_VALUE_24 = 24,
  VCMD_FULL_SCREEN_MODES = 25,   ///< stream: int32_t* -> mode indexes
  VCMD_PRESENTATION_PATH = 26,   ///< stream: 2 suspend / 3 resume hardware path
  VCMD_ZERO_RECORD = 27,         ///< stream: zero 16 bytes at arg
  VCMD_FORBID_REFRESH = 28,      ///< stream: no re-present while full screen
  VCMD_ALLOW_REFRESH = 29,       ///< stream
  VCMD_TOTAL_LENGTH = 30,        ///< stream: -> total length
  VCMD_PLAY_SILENT = 31,         ///< stream: play without audio
  VCMD_PLAY_WITH_CALLBACK = 32,  ///< stream: KestrumEndCallback -> play
  VCMD_VALUE_33 = 33,
  VCMD_IS_ELEMENTARY = 34,  ///< stream: -> 1 for a bare video stream
  VCMD_SET_MARK_A = 35,     ///< stream: pos -> pos
  VCMD_SET_MARK_B = 36,     ///< stream: pos -> pos
  VCMD_GET_VALUE_37 = 37,
  VCMD_SET_VALUE_38 = 38,
  VCMD_VALUE_39 = 39,
  VCMD_SET_MARK_A_2 = 40,      ///< stream: pos -> pos
  VCMD_SET_MARK_B_2 = 41,      ///< stream: pos -> pos
  VCMD_COPY_AUDIO = 42,        ///< stream: fd -> position - mark A, or -1
  VCMD_GOTO_MARK_A = 43,       ///< stream: remember position, seek to A -> 1
  VCMD_RETURN_FROM_MARK = 44,  ///< stream: seek back -> 1
  VCMD_VALUE_45 = 45,
  VCMD_CAPTION_ON = 46,        ///< both: 0/1
  VCMD_CAPTION_TEXT = 47,      ///< settings: const char*
  VCMD_CAPTION_LINE1 = 48,     ///< stream: const char*
  VCMD_CAPTION_DRAWABLE = 49,  ///< stream: -> nonzero if drawable
  VCMD_GET_VALUE_50 = 50,
  VCMD_SET_VALUE_51 = 51,
  VCMD_SEQUENCE_SIZE = 52,    ///< stream: int32_t* height -> width
  VCMD_FRAME_RATE_CODE = 53,  ///< stream: -> frame_rate_code
  VCMD_GET_VALUE_54 = 54,
  VCMD_SET_VALUE_55 = 55,
  VCMD_GET_BACKGROUND = 56,  ///< settings: -> background mode
  VCMD_SET_BACKGROUND = 57,  ///< settings, stream: mode
  VCMD_GET_VALUE_58 = 58,
  VCMD_SET_VALUE_59 = 59,
  VCMD_VALUE_60 = 60,
  VCMD_GET_PIXEL_LAYOUT = 61,  ///< settings: -> forced 16-bit layout
  VCMD_SET_PIXEL_LAYOUT = 62,  ///< settings: value (0 = detect)
  VCMD_GET_VALUE_63 = 63,
  VCMD_SET_VALUE_64 = 64,
  VCMD_HARDWARE_IN_USE = 65,     ///< settings: -> nonzero if overlay/hardware
  VCMD_FORMAT_PREFERENCES = 66,  ///< settings: -> int32_t[9]*
  VCMD_BRIGHTNESS = 67,          ///< settings: signed low byte
  VCMD_IS_PLAYING = 68,          ///< settings: -> 1 if open and not stopped
  VCMD_VALUE_69 = 69,
  VCMD_SET_STATE = 70,        ///< settings: const KestrumStateRecord* -> 0
  VCMD_DECODE_UNLESS_B = 71,  ///< stream: -> 1 if decoded
  VCMD_AT_END = 72,           ///< stream: -> 1 at end of stream
  VCMD_SET_PICTURE = 73,      ///< stream: picture to present
  VCMD_PRESENT_AGAIN = 74,    ///< stream
  VCMD_VALUE_75 = 75,
  VCMD_DECODE_NO_PRESENT = 76,  ///< stream: -> 1/0 (only when stopped)
  VCMD_GET_VALUE_77 = 77,
  VCMD_SET_VALUE_78 = 78,
  VCMD_SET_HOST_WINDOW = 79,   ///< settings: window for maximise requests
  VCMD_SET_HOST_COMMAND = 80,  ///< settings: command id for them
  VCMD_GET_KEEP_ASPECT = 81,   ///< settings: -> keep aspect
  VCMD_SET_KEEP_ASPECT = 82,   ///< settings: 0/1
  VCMD_VARIANT_83 = 83,        ///< settings: 0/1 processor variant A
  VCMD_NEXT_INTRA = 84,        ///< stream: on to the next I picture (video opens); else a stored value
  VCMD_VARIANT_85 = 85,        ///< settings: 0/1 processor variant B
  VCMD_VALUE_86 = 86,
  VCMD_PLUGIN_LOAD = 87,    ///< stream: file name (0 = default)
  VCMD_PLUGIN_UNLOAD = 88,  ///< stream
  VCMD_PLUGIN_LOADED = 89,  ///< stream: -> loaded
  VCMD_GET_VALUE_90 = 90,
  VCMD_SET_VALUE_91 = 91,
  VCMD_REDRAW_SUBPICTURES = 92,    ///< settings
  VCMD_DVD_AUDIO_COUNT = 93,       ///< settings: -> count or -1
  VCMD_DVD_AUDIO_ATTRIBUTES = 94,  ///< settings: -> 8 records of 8 bytes
  VCMD_DVD_SPU_COUNT = 95,         ///< settings: -> count or -1
  VCMD_DVD_SPU_ATTRIBUTES = 96,    ///< settings: -> 32 records of 6 bytes
  VCMD_OPEN_COUNT = 97,            ///< settings: -> opens since load
  VCMD_SPU_DRAW_MODE = 98,         ///< settings: 0/1 -> old mode
  VCMD_GET_VALUE_99 = 99,
  VCMD_SET_VALUE_100 = 100,
  VCMD_VALUE_101 = 101,
  VCMD_CLOSE_HIDES_ONLY = 102,      ///< settings: value -> old value
  VCMD_FRAME_COPY = 103,            ///< settings: -> KestrumFrameCopy (no smoothing)
  VCMD_SET_DEPTH_PREFERENCE = 104,  ///< settings: value
  VCMD_GET_VALUE_105 = 105,
  VCMD_SET_VALUE_106 = 106,
  VCMD_GET_DEPTH_PREFERENCE = 107,  ///< settings: -> value
  VCMD_GET_VALUE_108 = 108,
  VCMD_SET_VALUE_109 = 109,
  VCMD_GET_VALUE_110 = 110,  ///< three values packed (a << 20) | (b << 8) | c
  VCMD_SET_VALUE_111 = 111,
  VCMD_GET_FRAME_HOOK = 112,  ///< settings: -> routine
  VCMD_SET_FRAME_HOOK = 113,  ///< settings: routine (0 = none)
  VCMD_GET_VALUE_114 = 114,
  VCMD_SET_VALUE_115 = 115,
  VCMD_GET_VALUE_116 = 116,
  VCMD_SET_VALUE_117 = 117,
  VCMD_GET_VALUE_118 = 118,
  VCMD_SET_VALUE_119 = 119,
  VCMD_GET_VALUE_120 = 120,
  VCMD_SET_VALUE_121 = 121,
  VCMD_GET_VALUE_122 = 122,
  VCMD_SET_VALUE_123 = 123,
  VCMD_GET_VALUE_124 = 124,
  VCMD_SET_VALUE_125 = 125,
  VCMD_GET_VALUE_126 = 126,
  VCMD_SET_VALUE_127 = 127,
  VCMD_FULL_SCREEN_REQUESTED = 128,  ///< settings: -> 0/1
  VCMD_GET_ON_TOP = 129,             ///< settings: -> on top
  VCMD_SET_ON_TOP = 130,             ///< settings: 0/1 -> old value
  VCMD_OPEN_AUDIO = 131,             ///< stream: -> audio open
  VCMD_VALUE_132 = 132,
  VCMD_SET_POST_FRAME_CALLBACK = 133,  ///< settings: KestrumPostFrameCallback
  VCMD_OVERLAY_ENTRY = 134,            ///< settings: -> overlay picture routine
  VCMD_SET_TOTAL_LENGTH = 135,         ///< settings: length -> old length
  VCMD_BACKGROUND_WINDOW = 136,        ///< settings: -> full-screen background
  VCMD_GET_ASPECT_FACTOR = 137,        ///< settings: -> width * 256 / height
  VCMD_SET_ASPECT_FACTOR = 138,        ///< settings: value
  VCMD_SOURCE_TAG = 139,               ///< settings: -> SysOpen result
  VCMD_CONVERTER_COLUMN = 140,         ///< settings: 0/1
  VCMD_GET_VALUE_145 = 145,
  VCMD_SET_VALUE_146 = 146,
  VCMD_MPEG2_PLAY_LOOP = 147,  ///< settings: 0/1 (default 1)
  VCMD_PLAYBACK_ENDED = 148,   ///< stream: -> 1 when ended and stopped
  VCMD_GET_VALUE_149 = 149,
  VCMD_SET_VALUE_150 = 150,
  VCMD_VALUE_151 = 151,
  VCMD_GET_VALUE_152 = 152,  ///< three values packed as for 110
  VCMD_SET_VALUE_153 = 153,
  VCMD_GET_VALUE_154 = 154,
  VCMD_SET_VALUE_155 = 155,
  VCMD_GET_VALUE_156 = 156,
  VCMD_SET_VALUE_157 = 157,
  VCMD_VALUE_158 = 158,
  VCMD_FRAME_COPY_SMOOTH = 159,  ///< settings: -> KestrumFrameCopy (smoothing)
  VCMD_NAVIGATION_RECORD = 160,  ///< settings: record
  VCMD_VALUE_161 = 161,
  VCMD_ZOOM = 162,  ///< stream: rectangle (0 = whole picture)
  VCMD_GET_VALUE_163 = 163,
  VCMD_SET_VALUE_164 = 164,
  VCMD_IS_ZOOMED = 165,  ///< stream: -> 1 if zoomed
  VCMD_IS_WIDE = 166,    ///< stream: -> 1 if 16:9
  VCMD_SET_WIDE = 167,   ///< stream: 0 = 4:3, 1 = 16:9, others ignored
  VCMD_OPEN_PATH = 168,  ///< settings: -> const char* path
  VCMD_GET_VALUE_169 = 169,
  VCMD_SET_VALUE_170 = 170,
  VCMD_VALUE_171 = 171,
  VCMD_HOLD_PICTURE = 172,     ///< stream: hold the current picture
  VCMD_RELEASE_PICTURE = 173,  ///< stream: release it
  VCMD_GET_VALUE_174 = 174,
  VCMD_SET_VALUE_175 = 175,
  VCMD_SET_SCAN_STEP = 176,    ///< settings: value
  VCMD_GET_SCAN_STEP = 177,    ///< settings: -> value
  VCMD_SET_PLAY_MODE = 178,    ///< settings: 0/1/2 (only while stopped)
  VCMD_GET_PLAY_MODE = 179,    ///< settings: -> mode
  VCMD_GET_SLOW_FACTOR = 180,  ///< settings: -> value
  VCMD_SET_SLOW_FACTOR = 181,  ///< settings: value
  VCMD_CAPTION_LINE2 = 182,    ///< stream: const char*
  VCMD_VALUE_183 = 183,
  VCMD_PLANE_RECORD = 184,  ///< stream: -> KestrumPlaneRecord*
  VCMD_GET_VALUE_185 = 185,
  VCMD_SET_VALUE_186 = 186,
  /// stream: -> ms at which the picture on screen started, in display time
  /// from the first picture (pictures that repeat a field count their
  /// length); -1 after a seek by position
  VCMD_PICTURE_TIME = 187,
  /// stream: ms -> shows the first picture that starts at or after ms of
  /// display time (the last one past the end); the new byte position, 0 when
  /// refused. Reads the picture headers from the start of the stream.
  VCMD_SEEK_TIME = 188,
  /// stream: -> how long the picture on screen stays, in field periods (as
  /// KestrumPicture::fields); -1 before the first picture
  VCMD_PICTURE_FIELDS = 189,
  /// settings: 1 -> from now on the picture held by VCMD_HOLD_PICTURE has the
  /// chosen subpicture mixed in as it is shown at that picture's time (the
  /// frame copy and the plane record carry it); 0 -> clean pictures (the
  /// default). Result: the old value.
  VCMD_MIX_SUBPICTURE = 190
};

/// Number of codes VideoCommand accepts.
#define KESTRUM_COMMAND_COUNT 186

/* ------------------------------------------------------------------------ */
/* Exports (ordinal in brackets)                                             */
/* ------------------------------------------------------------------------ */

/// [71] Stops and closes the audio engine, closes the source and ends an
/// audio-only open. Returns 1, or 0 when no audio-only file was open.
KESTRUM_API int32_t VideoCloseAudioOnly(int32_t unused);

/// [72] Closes the file of an audio-only open and opens path the same way
/// as VideoOpenAudioOnly; a playing file keeps playing. Returns 1/0.
KESTRUM_API int32_t VideoReopenAudioOnly(intptr_t unused, const char *path, int32_t unused2, uint32_t start);

/// [73] Opens path for audio only: a system stream through VideoOpenSource,
/// an audio elementary file through the audio engine. No video is decoded.
/// display may be null. Leaves the engine open and stopped. Returns 1/0.
KESTRUM_API int32_t VideoOpenAudioOnly(const KestrumHostDisplay *display, const char *path, int32_t unused,
                                       uint32_t start);

/// [74] Closes the source if one is open (the closing flag is set first).
/// Returns 1, or -1 if none was open.
KESTRUM_API int32_t VideoCloseSource(void);

/// [75] Command dispatcher: see enum KestrumCommand. Codes not accepted
/// return 0. Pointer arguments and results travel in arg and the result.
KESTRUM_API intptr_t VideoCommand(int32_t cmd, intptr_t arg);

/// [76] Colour (1) or monochrome (0) presentation. Ignored while the display
/// is being rebuilt.
KESTRUM_API void VideoSetColourMode(int32_t colour);

/// [77] Presents over the whole desktop. Returns 1/0 (0 without hardware
/// presentation).
KESTRUM_API int32_t VideoOverlayDesktop(void);

/// [78] bit_rate of the sequence header x 400 (bits per second); 8000 for
/// AVI and plug-in sources; 0 when nothing is open.
KESTRUM_API int32_t VideoGetBitRate(void);

/// [79] The display target pictures go to: the host display of the open,
/// or the engine's own window; null when there is none.
KESTRUM_API void *VideoGetWindow(void);

/// The engine window's message routine: handles the window's pending
/// events (wheel sizing, T for on top, closing, a new size or place, an
/// uncovered window). Pictures being shown run it too; a host calls it
/// while none come (stopped, paused), from the thread that opened the file.
typedef void (*KestrumWindowProc)(void);

/// [80] The engine window's message routine, a KestrumWindowProc (null
/// while the engine has no window of its own).
KESTRUM_API void *VideoGetWindowProc(void);

/// [81] Rebuilds the display for the target's new size or place, then
/// presents again. window is the display target (as from VideoGetWindow).
KESTRUM_API void VideoUpdateWindow(void *window);

/// [82] Closes the open file: stops audio and playback, waits for the
/// playback thread, releases the display and the source. hide nonzero also
/// hides the engine's own window. Returns 1, or 0 when nothing was open.
KESTRUM_API int32_t VideoClose(int32_t hide);

/// [83] Closes the current file without releasing the display, then opens
/// path as VideoOpen does. Returns 1/0.
KESTRUM_API int32_t VideoReopen(const KestrumHostDisplay *display, const char *path, const char *title,
                                uint32_t start);

/// [84] Opens path for playback. display null = the engine's own window;
/// title null = the file title of path; start goes to the media layer's
/// open (0 = from the start). Returns 1 on success, 0 when the file cannot
/// be probed or opened or holds no video. On success the engine is open and
/// stopped; the first picture is decoded. The display record must stay
/// valid until VideoClose.
KESTRUM_API int32_t VideoOpen(const KestrumHostDisplay *display, const char *path, const char *title,
                              uint32_t start);

/// VideoOpen for a sized path buffer (not in the ordinal table): the media
/// layer's forms with binary fields after the name ("Track.Player" with its
/// drive and track, a joined DVD title set filled by the media layer's
/// CTL_JOIN_VTS), which a plain string cannot carry; see SysProbeBuffer.
/// title null = the file title of the name. Returns 1/0 as VideoOpen; 0
/// for a null buffer or one without a NUL.
KESTRUM_API int32_t VideoOpenBuffer(const KestrumHostDisplay *display, const void *buffer, int32_t size,
                                    const char *title, uint32_t start);

/// [85] No effect. Returns 0.
KESTRUM_API int32_t VideoReserved85(int32_t a, int32_t b, int32_t c);

/// [86] If open: starts the playback thread advancing pictures. Returns 1,
/// 0 when nothing is open.
KESTRUM_API int32_t VideoRun(void);

/// [87] Byte seek: origin 0 absolute, 1 relative; (0, 1) returns the current
/// position without moving and works while playing. Returns the new byte
/// position, 0 when nothing is open, no length is known or a close runs.
KESTRUM_API int32_t VideoSeek(int32_t pos, int32_t origin);

/// [88] Stores the Cb and Cr used in monochrome mode; re-presents when open.
/// Returns 1.
KESTRUM_API int32_t VideoSetMonoTint(int32_t cb, int32_t cr);

/// [89] Only the first n (low 6 bits; 0 = no limit) nonzero AC coefficients
/// of each block are transformed. Returns the old value.
KESTRUM_API int32_t VideoSetCoefficientLimit(int32_t n);

/// [90] No effect. Returns 0.
KESTRUM_API int32_t VideoReserved90(int32_t a);

/// [91] If open: stops the playback thread advancing pictures and waits
/// (about 300 ms at most) for it to go idle. Returns 1, 0 when not open.
KESTRUM_API int32_t VideoHalt(void);

/// [92] Opens path through the media layer as a system stream (with audio).
/// Returns the source handle, -1 on failure.
KESTRUM_API int32_t VideoOpenSource(const char *path);

/// [93] If open: redraws the subpicture layer and, when stopped, presents
/// the current picture again.
KESTRUM_API void VideoRefresh(void);

/// [94] Stores the real-time flag. Returns it.
KESTRUM_API int32_t VideoSetRealTime(int32_t on);

/// [95] Resets the play flags and the bit reader (for callers that drive
/// the decoder on a bare video stream).
KESTRUM_API void VideoResetState(void);

/// [96] Scan mode on. Returns 1.
KESTRUM_API int32_t VideoScanOn(void);

/// [97] Scan mode off. Returns 1.
KESTRUM_API int32_t VideoScanOff(void);

/// [98] No effect. Returns 0.
KESTRUM_API int32_t VideoReserved98(int32_t a);

/// [99] Opens path through the media layer as a bare video elementary
/// stream (no audio). Returns the source handle, -1 on failure.
KESTRUM_API int32_t VideoOpenVideoElementary(const char *path);

/// [100] Only if open, stopped and not at the end: decodes the next picture
/// and presents it. Returns 1, or 0 (not open, playing, end of stream).
KESTRUM_API int32_t VideoStep(void);

/// [101] Once per process before any open: connects the subpicture decoder
/// to the media layer. Returns the media layer's seen-subpicture record
/// address. Further calls only return that address again.
KESTRUM_API void *VideoStartup(void);

/// [102] Once at program end. Returns 1.
KESTRUM_API int32_t VideoShutdown(void);

/// Returns the export with the given ordinal (71..102), null for others.
/// For programs that load the library by name and take exports by number.
KESTRUM_API void *KestrumProc(int32_t ordinal);

#ifdef __cplusplus
}
#endif

#endif /* KESTRUM_VIDEO_API_H */
