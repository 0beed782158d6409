// MPEG audio decoder (Layers I, II and III of MPEG-1 and of the MPEG-2 low
// sampling frequencies) as the audio engine drives it.
//
// The decoder never opens files: it pulls its bytes through a read callback
// (the engine passes SysReadAudio, tests pass memory or a file). It writes
// 16-bit PCM, already arranged for the current channel mode, into a block the
// caller owns. Nothing is allocated after construction; one decoder object
// is used by one thread at a time.
//
// Typical use by the engine:
//
//   MpegAudioDecoder dec;                       // once, at library load
//   dec.set_source(SysReadAudioThunk, nullptr);
//   dec.reset_stream();                         // AudioOpenFile / AudioResetStream
//   dec.set_sync(word16 ? word16 : 0x0FFF, word16 ? 16 : 12);  // audio-only file
//   StreamInfo info;
//   if (dec.probe(file_mode, &info) != 1) ...   // AudioOpenOutput step 2
//   dec.set_channel_mode(...); dec.set_rate_mode(...);
//   int32_t samples = 0;
//   ok = dec.fill_block(slot, kSlotSamples, frames_per_fill_work, &samples);
#pragma once

#include <cstdint>
#include <memory>

namespace lunaret {

/// Pull callback: copy up to len bytes of the elementary stream into dst and
/// return the count; 0 means the input has ended (a negative value counts as
/// 0). A short count does not mean the end: the reader asks again.
using ReadFn = int32_t (*)(void *ctx, void *dst, int32_t len);

/// Which channels reach the output (the engine's `ChannelMode`).
enum class ChannelMode : int32_t {
  LeftOnly = 0,   ///< channel 0 only, mono output
  RightOnly = 1,  ///< channel 1 only (channel 0 for a mono stream), mono output
  Stereo = 2,     ///< both channels interleaved, left first (the default)
  Mix = 3,        ///< both channels at equal weight into one mono output
};

/// The frame decoder variants (the engine's `rateModeRequested`).
enum class RateMode : int32_t {
  Full = -1,   ///< every output sample computed (the converters)
  Normal = 0,  ///< playback; the float synthesis computes every second
               ///< sample and interpolates the rest, the fixed one as Full
  Half = 1,    ///< every second output sample only: half the stream's rate
};

/// The two subband synthesis implementations.
enum class SynthesisKind : int32_t {
  Float = 0,  ///< single-precision float matrixing and window
  Fixed = 1,  ///< 16-bit fixed point with 32-bit products
};

/// One parsed frame header with what is derived from it.
struct HeaderRecord {
  int32_t id = 1;              ///< 1 MPEG-1, 0 MPEG-2 low sampling frequency
  int32_t layer = 2;           ///< 1..3
  int32_t crc_present = 0;     ///< 1 when the protection bit is 0
  int32_t bitrate_index = 0;   ///< 0..14 (0 = free format)
  int32_t sampling_index = 0;  ///< 0..2
  int32_t padding = 0;
  int32_t private_bit = 0;
  int32_t mode = 0;  ///< 0 stereo, 1 joint stereo, 2 dual, 3 single
  int32_t mode_extension = 0;
  int32_t copyright = 0;
  int32_t original = 0;
  int32_t emphasis = 0;
  uint16_t crc_word = 0;       ///< stored, never verified
  int32_t channels = 2;        ///< 1 for mode 3, else 2
  int32_t subband_limit = 32;  ///< sblimit of the chosen allocation table
  int32_t jsbound = 32;        ///< first subband coded jointly
};

/// What the open-time probe learned from the first frame.
struct StreamInfo {
  int32_t id = 1;              ///< 1 MPEG-1, 0 MPEG-2 low sampling frequency
  int32_t layer = 0;           ///< 1..3
  int32_t sampling_index = 0;  ///< the header's sampling-frequency index
  int32_t sample_rate = 0;     ///< Hz of the stream (not halved)
  int32_t channels = 0;        ///< 1 or 2 in the stream
  int32_t mode = 0;            ///< the header's mode field
  int32_t bitrate_kbps = 0;    ///< 0 for free format
};

/// Largest number of samples (all channels) one frame can add: a Layer II or
/// Layer III MPEG-1 frame in stereo.
inline constexpr int32_t kMaxFrameSamples = 1152 * 2;

class MpegFrameDecoder;

/// The decoder the audio engine owns. Every member is safe on bad input:
/// a corrupt stream yields skipped frames or silence, never a fault.
class MpegAudioDecoder {
 public:
  MpegAudioDecoder();
  ~MpegAudioDecoder();
  MpegAudioDecoder(const MpegAudioDecoder &) = delete;
  MpegAudioDecoder &operator=(const MpegAudioDecoder &) = delete;

  /// Where the bytes come from; ctx is passed back to read unchanged.
  void set_source(ReadFn read, void *ctx);

  /// Stream reset (AudioOpenFile, AudioResetStream): empties the reader
  /// (the next read starts a new 2,048-byte window), clears `inputEnded`,
  /// puts the sync word back to 0x0FFF / 12 bits and does reset_decoder().
  void reset_stream();
  /// Decoder reset (AudioFlush, mode changes, opens): synthesis banks,
  /// phases and bank toggles, the Layer III reservoir and overlap, and the
  /// interpolation history of the normal rate mode. The reader is kept.
  void reset_decoder();

  /// Replaces the sync word and its width (12 or 16 bits). The engine sets
  /// the 16-bit header word that the media layer found in an audio-only file.
  void set_sync(uint32_t word, int32_t bits);
  uint32_t sync_word() const;
  int32_t sync_bits() const;

  /// Open-time probe. Finds the first frame (with file_mode 0 only a
  /// Layer II frame is accepted, as system streams need; with 1 any layer),
  /// fixes the 16-bit sync word from it if it was still 0x0FFF, parses its
  /// header into *info and rewinds the reader so that the next fill finds
  /// and decodes that frame again. Returns 1, or 0 when the input ended
  /// without a frame (*info untouched).
  int32_t probe(int32_t file_mode, StreamInfo *info);

  /// Decodes one frame and appends its samples to block[*sample_count ...],
  /// advancing *sample_count by the number of 16-bit values written (all
  /// channels). capacity is the block's size in samples; a frame that would
  /// not fit is decoded but not written. Returns 1 when a frame was decoded
  /// or skipped (it may have added nothing: a Layer III frame waiting for
  /// its reservoir, a damaged header), 0 when the input has no more frames.
  int32_t decode_frame(int16_t *block, int32_t capacity, int32_t *sample_count);

  /// The block fill of the engine's DecodeBlock for MPEG audio: passes
  /// `frames_per_fill_work` times (clamped to 1..8) a frame that adds
  /// samples; a Layer I pass takes two such frames, so every pass adds 1,152
  /// samples per channel for MPEG-1 streams. Frames that add nothing are
  /// skipped. *samples := the 16-bit values written (all channels).
  /// Passes stop early when fewer than kMaxFrameSamples values of room are
  /// left. Returns 1, or 0 when the input ended before anything was
  /// produced (or the block is smaller than kMaxFrameSamples).
  int32_t fill_block(int16_t *block, int32_t capacity, int32_t frames_per_fill_work, int32_t *samples);

  /// Settings; each takes effect at the next frame. The engine resets the
  /// decoder after a change, as its mode-change steps say.
  void set_channel_mode(ChannelMode mode);
  ChannelMode channel_mode() const;
  void set_rate_mode(RateMode mode);
  RateMode rate_mode() const;
  /// Choose the synthesis implementation. The default is Float: with the
  /// Full rate mode it is the most accurate path (the converters' case),
  /// and no processor we run on lacks an FPU, so the 16-bit path is only
  /// taken when the engine asks for it.
  void set_synthesis(SynthesisKind kind);
  SynthesisKind synthesis() const;

  /// The engine's `inputEnded`: a read returned 0. Cleared by reset_stream()
  /// and clear_input_ended().
  bool input_ended() const;
  void clear_input_ended();

  /// The header of the last frame parsed (after probe(): the probed one).
  const HeaderRecord &header() const;
  /// Output format for the current header and settings: channels in the
  /// block (1 or 2) and the rate in Hz (halved in the Half rate mode).
  int32_t output_channels() const;
  int32_t output_rate() const;

 private:
  std::unique_ptr<MpegFrameDecoder> impl_;
};

/// The sampling rate in Hz for (id, sampling_index), 0 when invalid.
int32_t mpeg_audio_sample_rate(int32_t id, int32_t sampling_index);
/// The bit rate in kbit/s for (id, layer, bitrate_index), 0 when invalid or
/// free format.
int32_t mpeg_audio_bitrate(int32_t id, int32_t layer, int32_t bitrate_index);

}  // namespace lunaret
