// The audio side of the AVI codecs, shaped like the platform's audio
// compression manager: a converter per stream format, fed source bytes and
// giving 16-bit PCM of at most two channels (more are folded to stereo).
// PCM, A-law, mu-law, MS and IMA ADPCM and AC-3 go to libavcodec; MPEG
// audio (tags 0x50 and 0x55) to a driver the audio engine installs, since
// MPEG audio is the engine's own.
#pragma once

#include <cstdint>
#include <string>

namespace platform::avi {

constexpr uint16_t kTagPcm = 0x0001;
constexpr uint16_t kTagMsAdpcm = 0x0002;
constexpr uint16_t kTagFloat = 0x0003;
constexpr uint16_t kTagAlaw = 0x0006;
constexpr uint16_t kTagMulaw = 0x0007;
constexpr uint16_t kTagImaAdpcm = 0x0011;
constexpr uint16_t kTagMpeg = 0x0050;
constexpr uint16_t kTagMpegLayer3 = 0x0055;
constexpr uint16_t kTagAc3 = 0x2000;
constexpr uint16_t kTagExtensible = 0xFFFE;

/// A driver for one format tag: its own converter object behind these
/// calls. convert consumes bytes of src (-> *used) and writes interleaved
/// 16-bit values to dst (-> *produced); -> false on a fatal error. A call
/// with src null and len -1 says the source has ended.
struct AudioDriver {
  void *(*open)(const uint8_t *format, int32_t size, int32_t *rate, int32_t *channels);
  bool (*convert)(void *self, const uint8_t *src, int32_t len, int16_t *dst, int32_t cap, int32_t *used,
                  int32_t *produced);
  void (*reset)(void *self);
  void (*close)(void *self);
};
/// Installs (or with null removes) the driver of a format tag.
void install_audio_driver(uint16_t tag, const AudioDriver *driver);

struct AudioConverter;

/// -> a converter for the WAVEFORMATEX, or nullptr with *why set.
AudioConverter *audio_converter_open(const uint8_t *format, int32_t size, std::string *why);
void audio_converter_close(AudioConverter *c);
int32_t audio_converter_rate(const AudioConverter *c);
/// 1 or 2.
int32_t audio_converter_channels(const AudioConverter *c);
/// The source's block alignment (bytes of one decodable unit), at least 1.
int32_t audio_converter_block(const AudioConverter *c);
/// Converts: consumes bytes of src (*used) and writes up to cap values to
/// dst (*produced). Bytes not yet decodable are kept for the next call.
/// -> false on a fatal error.
bool audio_converter_convert(AudioConverter *c, const uint8_t *src, int32_t len, int16_t *dst, int32_t cap,
                             int32_t *used, int32_t *produced);
/// At the end of the source: decodes what is still held (a codec's delay,
/// bytes short of a frame). -> values written to dst (at most cap).
int32_t audio_converter_finish(AudioConverter *c, int16_t *dst, int32_t cap);
/// Forgets buffered input and output (after a seek).
void audio_converter_reset(AudioConverter *c);

}  // namespace platform::avi
