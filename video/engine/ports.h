// The engine's view of the libraries it drives: the media layer, the audio
// engine and the video decoder, each as a plain table of functions. The
// production tables bind the real exports; a test installs its own tables to
// drive the frame (commands, thread, open and close) without real streams,
// and to make any call fail on purpose.
#pragma once

#include <cstdint>

#include "audio/audio_api.h"
#include "media/media_api.h"
#include "video/video_api.h"

namespace kestrum {

/// Calls into the media layer, under the names of its exports.
struct MediaPort {
  int32_t (*probe)(const char *path, int32_t *length);  // SysProbe
  int32_t (*open)(const char *path, uint32_t start);    // SysOpen
  int32_t (*close)();                                   // SysClose
  int32_t (*seek)(int32_t pos, int32_t origin);         // SysSeek
  int32_t (*flush)(int32_t which);                      // SysFlush
  intptr_t (*control)(int32_t cmd, intptr_t param);     // SysControl
  int32_t (*read_video)(void *buf, int32_t len);        // SysReadVideo
  int32_t (*run_callbacks)(int32_t budget_ms);          // SysRunCallbacks
};

/// Calls into the audio engine.
struct AudioPort {
  void (*set_channel_mode)(int32_t mode);          // AudioSetChannelMode
  int32_t (*open_output)(void *owner);             // AudioOpenOutput
  int32_t (*stop)();                               // AudioStop
  int32_t (*play)();                               // AudioPlay
  int32_t (*open_file)(const char *path);          // AudioOpenFile
  int32_t (*close)();                              // AudioClose
  int32_t (*open_stream)(int32_t tag);             // AudioOpenStream
  void (*flush)();                                 // AudioFlush
  void (*halt)();                                  // AudioHalt
  int32_t (*set_pause)(int32_t on);                // AudioSetPause
  uint32_t (*get_volume)();                        // AudioGetVolume
  uint32_t (*set_volume)(uint32_t volume);         // AudioSetVolume
  void (*set_rate_mode)(int32_t mode);             // AudioSetRateMode
  int32_t (*set_hint)(int32_t hint);               // AudioSetHint
  intptr_t (*command)(int32_t cmd, intptr_t arg);  // AudioCommand
  int32_t (*get_bit_rate)();                       // AudioGetBitRate
};

/// picture_coding_type of a B picture.
inline constexpr int32_t kCodingTypeB = 3;

/// Header values of the open video stream, as the decoder holds them.
struct StreamParams {
  int32_t horizontal_size = 0;
  int32_t vertical_size = 0;
  int32_t coded_width = 0;   // 16 x mb_width
  int32_t coded_height = 0;  // 16 x mb_height
  int32_t frame_rate_code = 0;
  int32_t bit_rate_value = 0;      // 18 bits, units of 400 bit/s
  int32_t bit_rate_extension = 0;  // 12 bits, MPEG-2 only
  int32_t is_mpeg2 = 0;
  int32_t chroma_format = 1;
  int32_t progressive_sequence = 1;
  int32_t frame_rate_extension_n = 0;
  int32_t frame_rate_extension_d = 0;
  int32_t picture_coding_type = 0;  // of the last picture parsed (kCodingTypeB, ...)
  int32_t picture_structure = 3;    // of the last picture parsed
  int32_t closed_gop = 0;
  int32_t have_sequence = 0;  // a sequence header was parsed
  // The four quantiser matrices in raster order.
  uint8_t intra_matrix[64] = {};
  uint8_t non_intra_matrix[64] = {};
  uint8_t chroma_intra_matrix[64] = {};
  uint8_t chroma_non_intra_matrix[64] = {};
};

/// Calls into the video decoder. It pulls its bytes through MediaPort's
/// read_video (the port installed when it is reset).
struct DecoderPort {
  /// Forgets the stream: parameters, bit reader, frame store contents.
  void (*reset)();
  /// The next start-code search reloads the reader (after a seek).
  void (*restart)();
  /// Stream start at open: finds the first sequence header (stepping through
  /// the source when needed, bounded by total_length), sets up the frame
  /// store and decodes up to the first showable picture. 1/0.
  int32_t (*start_stream)(int32_t total_length);
  /// Parses and decodes the next picture. 1, or 0 at the end of the data.
  int32_t (*step_picture)();
  /// Copies the current parameters out.
  void (*params)(StreamParams *out);
  /// The picture to show now (planes owned by the decoder). 1 when there is
  /// one, 0 before the first decoded picture.
  int32_t (*current_picture)(KestrumPicture *out);
  /// 1 once the reader has met the end of the data and no decoded picture
  /// is left to show.
  int32_t (*end_of_data)();
  /// Coefficient limit (0 = none) for the inverse transform.
  void (*set_coefficient_limit)(int32_t n);
  /// Processor variants of the decoder: 0 plain, 83 or 85.
  void (*set_variant)(int32_t variant);
};

/// The tables the engine uses now. Never null: without a library the
/// entries fail in the documented way (open -1, reads 0).
const MediaPort &media();
const AudioPort &audio();
const DecoderPort &decoder();

/// Installs replacement tables (null restores the production table). For
/// tests; call only while nothing is open.
void set_media_port(const MediaPort *port);
void set_audio_port(const AudioPort *port);
void set_decoder_port(const DecoderPort *port);

}  // namespace kestrum
