#include "tests/audio/decode/audio_streams.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/support/compare.h"
#include "tests/support/test_media.h"

namespace audio_test {
namespace {

struct Recipe {
  const char *name;
  const char *encode;  // ffmpeg output options
  int32_t rate;
  int32_t channels;
  const char *decoder;  // ffmpeg's float decoder for the reference
};

// Music-like content: gliding tones, a beating pair and a little noise,
// different per channel so that channel mix-ups show.
constexpr const char *kLeft =
    "0.3*sin(2*PI*(440+200*sin(2*PI*0.5*t))*t)+0.2*sin(2*PI*1234*t)*sin(2*PI*0.3*t)+0.04*(random(0)-0.5)";
constexpr const char *kRight =
    "0.25*sin(2*PI*660*t)+0.2*sin(2*PI*3000*t+sin(2*PI*2*t))+0.1*sin(2*PI*7000*t)*sin(2*PI*0.7*t)+0.04*("
    "random(1)-0.5)";

constexpr Recipe kRecipes[] = {
    {"audio_l2_32k_stereo.mp2", "-c:a mp2 -b:a 192k", 32000, 2, "mp2float"},
    {"audio_l2_44k_joint.mp2", "-c:a libtwolame -b:a 128k -mode joint_stereo", 44100, 2, "mp2float"},
    {"audio_l2_48k_mono.mp2", "-c:a mp2 -b:a 128k", 48000, 1, "mp2float"},
    {"audio_l2_48k_stereo.mp2", "-c:a mp2 -b:a 224k", 48000, 2, "mp2float"},
    {"audio_l2_48k_crc.mp2", "-c:a libtwolame -b:a 192k -error_protection 1", 48000, 2, "mp2float"},
    {"audio_l2_22k_lsf.mp2", "-c:a mp2 -b:a 64k", 22050, 2, "mp2float"},
    {"audio_l3_44k.mp3", "-c:a libmp3lame -b:a 192k", 44100, 2, "mp3float"},
    {"audio_l3_22k_lsf.mp3", "-c:a libmp3lame -b:a 64k", 22050, 2, "mp3float"},
};

bool exists(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  return bool(f);
}

// The shared media writes "rate channels samples" beside each reference.
bool read_format(const std::string &txt, int32_t &rate, int32_t &channels) {
  const auto info = testing_support::read_pcm_info(txt);
  if (!info) return false;
  rate = info->rate;
  channels = info->channels;
  return true;
}

struct FileSource {
  const uint8_t *data;
  size_t size;
  size_t pos;
  int32_t max_read;
};

int32_t read_memory(void *ctx, void *dst, int32_t len) {
  auto *s = static_cast<FileSource *>(ctx);
  size_t n = size_t(len);
  if (n > size_t(s->max_read)) n = size_t(s->max_read);
  if (n > s->size - s->pos) n = s->size - s->pos;
  if (n) std::memcpy(dst, s->data + s->pos, n);
  s->pos += n;
  return int32_t(n);
}

}  // namespace

bool run(const std::string &command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::vector<uint8_t> read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool write_file(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}

std::vector<int16_t> read_pcm(const std::string &path) {
  return testing_support::read_pcm_file(path).value_or(std::vector<int16_t>{});
}

std::vector<int16_t> ffmpeg_decode(const std::string &path, const std::string &decoder) {
  const std::string out = path + "." + decoder + ".pcm";
  if (!run("ffmpeg -nostdin -y -hide_banner -c:a " + decoder + " -i '" + path + "' -f s16le '" + out + "'"))
    return {};
  return read_pcm(out);
}

Stream test_stream(const std::string &name) {
  Stream s;
  const Recipe *recipe = nullptr;
  for (const Recipe &r : kRecipes)
    if (name == r.name) recipe = &r;
  const std::string shared = testing_support::media_path(name);
  if (exists(shared) && exists(shared + ".pcm")) {
    s.path = shared;
    s.reference = shared + ".pcm";
    if (!read_format(shared + ".pcm.txt", s.rate, s.channels) && recipe) {
      s.rate = recipe->rate;
      s.channels = recipe->channels;
    }
    return s;
  }
  if (!recipe) return s;
  const std::string path = testing_support::scratch_dir() + "/" + name;
  std::string source = recipe->channels == 2 ? std::string(kLeft) + "|" + kRight : std::string(kLeft);
  char rate[16];
  std::snprintf(rate, sizeof rate, "%d", recipe->rate);
  if (!exists(path) &&
      !run("ffmpeg -nostdin -y -hide_banner -f lavfi -i \"aevalsrc=" + source + ":s=" + rate + ":d=3\" " +
           recipe->encode + " -f " + (name.ends_with(".mp3") ? "mp3" : "mp2") + " '" + path + "'"))
    return s;
  if (!run("ffmpeg -nostdin -y -hide_banner -c:a " + std::string(recipe->decoder) + " -i '" + path +
           "' -f s16le '" + path + ".pcm'"))
    return s;
  s.path = path;
  s.reference = path + ".pcm";
  s.rate = recipe->rate;
  s.channels = recipe->channels;
  return s;
}

Decoded decode_bytes(const std::vector<uint8_t> &bytes, const DecodeSettings &settings) {
  Decoded d;
  FileSource src{bytes.data(), bytes.size(), 0, settings.max_read};
  lunaret::MpegAudioDecoder dec;
  dec.set_source(read_memory, &src);
  dec.reset_stream();
  dec.set_synthesis(settings.synthesis);
  dec.set_rate_mode(settings.rate_mode);
  dec.set_channel_mode(settings.channel_mode);
  d.probed = dec.probe(settings.file_mode, &d.info) == 1;
  if (!d.probed) return d;
  d.channels = dec.output_channels();
  d.rate = dec.output_rate();
  // The engine's slot: 49,152 bytes.
  std::vector<int16_t> block(24576);
  int32_t n = 0;
  while (dec.fill_block(block.data(), int32_t(block.size()), settings.frames_per_fill, &n) == 1)
    d.pcm.insert(d.pcm.end(), block.begin(), block.begin() + n);
  return d;
}

}  // namespace audio_test
