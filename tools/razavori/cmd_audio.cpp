// razavori audio: decodes an audio file through the audio engine the way
// the converters pull audio (one block at a time with AudioCommand 4) and
// prints what the stream is.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/audio_api.h"
#include "media/media_api.h"
#include "tools/razavori/audio_switches.h"
#include "tools/razavori/command.h"
#include "tools/razavori/input_reason.h"

namespace razavori_cli {

namespace {

void usage() {
  std::fprintf(
      stderr,
      "usage: razavori audio FILE [--pcm OUT] [--wav OUT] [--rate-mode -1|0|1] [--channel-mode 0..3]\n"
      "                      [--stream ID] [--multichannel PRESET [--alt]] [--passthrough]\n"
      "  --pcm OUT           write the decoded samples as raw s16le\n"
      "  --wav OUT           write them as a WAV file\n"
      "  --rate-mode M       -1 full (default, as the converters), 0 normal, 1 half rate\n"
      "  --channel-mode M    0 left, 1 right, 2 stereo (default), 3 mix\n"
      "  --stream ID         the audio stream of a system stream (0xC0, 0x80 AC-3, 0xA0 LPCM)\n"
      "  --multichannel P    speaker preset 0..16 for multichannel output (--alt: the table with LFE)\n"
      "  --passthrough       AC-3 as S/PDIF bursts where the device takes them (--wav: the bursts)\n");
}

bool parse_int(const char *s, long lo, long hi, int32_t *out) {
  char *end = nullptr;
  errno = 0;
  long v = std::strtol(s, &end, 10);
  if (errno || !end || *end || v < lo || v > hi) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

const char *mode_name(int32_t mode) {
  switch (mode) {
    case 0:
      return "stereo";
    case 1:
      return "joint stereo";
    case 2:
      return "dual channel";
    case 3:
      return "single channel";
    default:
      return "?";
  }
}

const char *kind_name(int32_t kind) {
  switch (kind) {
    case AUDIO_SOURCE_MPEG_AUDIO:
      return "MPEG audio";
    case AUDIO_SOURCE_AC3:
      return "AC-3";
    case AUDIO_SOURCE_LPCM:
      return "LPCM";
    case AUDIO_SOURCE_AVI_AUDIO:
      return "AVI audio";
    case AUDIO_SOURCE_PUSH_PCM:
      return "pushed PCM";
    default:
      return "none";
  }
}

// A system stream opened through the media layer with one audio stream
// chosen; -> 1, 0 when the stream is not there, -1 when the file cannot
// be opened.
int32_t open_stream(const char *file, int32_t id) {
  const int32_t kind = SysProbe(file, nullptr);
  if (kind < 0 || kind > 2 || SysOpen(file, 0) == -1) return -1;
  SysFlush(DRAVIK_FLUSH_BOTH_ON);
  if (!select_audio_stream(id)) {
    SysClose();
    return 0;
  }
  const int32_t opened = AudioOpenStream(0);
  if (opened == AUDIO_SOURCE_NO_AUDIO) {
    SysClose();
    return 0;
  }
  return 1;
}

}  // namespace

int run_audio(int argc, char **argv) {
  const char *file = nullptr, *pcm_path = nullptr, *wav_path = nullptr;
  int32_t rate_mode = AUDIO_RATE_FULL, channel_mode = AUDIO_CHANNEL_STEREO;
  std::vector<std::string> args(argv + 1, argv + argc);
  AudioSwitches switches;
  std::string error;
  if (!take_audio_switches(args, &switches, &error)) {
    std::fprintf(stderr, "razavori audio: %s\n", error.c_str());
    return 2;
  }
  std::vector<char *> rest{argv[0]};
  for (auto &a : args) rest.push_back(a.data());
  argc = static_cast<int>(rest.size());
  argv = rest.data();
  for (int i = 1; i < argc; ++i) {
    const char *a = argv[i];
    bool has_value = i + 1 < argc;
    if (!std::strcmp(a, "--pcm") && has_value) {
      pcm_path = argv[++i];
    } else if (!std::strcmp(a, "--wav") && has_value) {
      wav_path = argv[++i];
    } else if (!std::strcmp(a, "--rate-mode") && has_value) {
      if (!parse_int(argv[++i], -1, 1, &rate_mode)) return usage(), 2;
    } else if (!std::strcmp(a, "--channel-mode") && has_value) {
      if (!parse_int(argv[++i], 0, 3, &channel_mode)) return usage(), 2;
    } else if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
      usage();
      return 0;
    } else if (a[0] != '-' && !file) {
      file = a;
    } else {
      usage();
      return 2;
    }
  }
  if (!file) {
    usage();
    return 2;
  }

  AudioSetRateMode(rate_mode);
  AudioSetChannelMode(channel_mode);
  AudioCommand(AUDIO_CMD_SET_ECHO, 0);
  apply_audio_switches(switches);
  int32_t opened = switches.stream >= 0 ? open_stream(file, switches.stream) : AudioOpenFile(file);
  if (opened == 0) {
    report_input_failure("audio", file, switches.stream >= 0 ? "no such audio stream" : "not an audio file");
    return 1;
  }
  if (opened == -1) {
    report_input_failure("audio", file, "cannot open");
    return 1;
  }
  if (!AudioOpenOutput(nullptr)) {
    std::fprintf(stderr, "razavori audio: no decodable audio frame in %s\n", file);
    AudioClose();
    if (switches.stream >= 0) SysClose();
    return 1;
  }

  int32_t rate = 0;
  int32_t rate_index =
      static_cast<int32_t>(AudioCommand(AUDIO_CMD_RATE_INDEX, reinterpret_cast<intptr_t>(&rate)));
  int32_t layer = static_cast<int32_t>(AudioCommand(AUDIO_CMD_LAYER, 0));
  const auto kind = static_cast<int32_t>(AudioCommand(AUDIO_CMD_SOURCE_KIND, 0));
  int32_t stream_channels = 0;
  int32_t mode = static_cast<int32_t>(
      AudioCommand(AUDIO_CMD_CHANNEL_FORMAT, reinterpret_cast<intptr_t>(&stream_channels)));
  int32_t channels = kind == AUDIO_SOURCE_MPEG_AUDIO ? (mode == 3 ? 1 : 2) : stream_channels;
  int32_t out_channels = static_cast<int32_t>(AudioCommand(AUDIO_CMD_OUTPUT_CHANNELS, 0));
  if (channels == 1) out_channels = 1;
  int32_t out_rate = rate_mode == AUDIO_RATE_HALF ? rate / 2 : rate;
  std::printf("kind %s\nrate %d Hz (index %d)\n", kind_name(kind), rate, rate_index);
  if (kind == AUDIO_SOURCE_MPEG_AUDIO)
    std::printf("channels %d (%s)\nlayer %d\n", channels, mode_name(mode), layer);
  else
    std::printf("channels %d\n", channels);
  if (kind == AUDIO_SOURCE_LPCM)
    std::printf("bits %d\n", static_cast<int>(AudioCommand(AUDIO_CMD_BITS_PER_SAMPLE, 0)));
  std::printf("bit rate %d kbit/s\n", AudioGetBitRate() >> 10);

  int pcm_fd = -1, wav_fd = -1;
  if (pcm_path && (pcm_fd = ::open(pcm_path, O_WRONLY | O_CREAT | O_TRUNC, 0644)) < 0) {
    std::fprintf(stderr, "razavori audio: cannot create %s\n", pcm_path);
    AudioClose();
    return 1;
  }
  if (wav_path && (wav_fd = ::open(wav_path, O_RDWR | O_CREAT | O_TRUNC, 0644)) < 0) {
    std::fprintf(stderr, "razavori audio: cannot create %s\n", wav_path);
    if (pcm_fd >= 0) ::close(pcm_fd);
    AudioClose();
    return 1;
  }
  // The WAV file is the engine's own capture of every decoded block.
  if (wav_fd >= 0) AudioCommand(AUDIO_CMD_CAPTURE_START, wav_fd);

  int64_t bytes_total = 0;
  int status = 0;
  const bool terminal = isatty(2) != 0;  // asked once, not per block
  for (;;) {
    int32_t bytes = 0;
    const auto *pcm = reinterpret_cast<const char *>(
        AudioCommand(AUDIO_CMD_DECODE_BLOCK, reinterpret_cast<intptr_t>(&bytes)));
    if (!pcm || bytes <= 0) {
      if (AudioCommand(AUDIO_CMD_END_OF_STREAM, 0)) break;
      continue;
    }
    bytes_total += bytes;
    // A progress line on the terminal, about once per second of sound.
    if (terminal && out_rate > 0 && out_channels > 0 &&
        (bytes_total / (2 * out_channels * out_rate)) !=
            ((bytes_total - bytes) / (2 * out_channels * out_rate)))
      std::fprintf(stderr, "\r%lld s decoded",
                   static_cast<long long>(bytes_total / (2 * out_channels * out_rate)));
    if (pcm_fd >= 0) {
      for (int32_t done = 0; done < bytes;) {
        ssize_t w = ::write(pcm_fd, pcm + done, static_cast<size_t>(bytes - done));
        if (w <= 0) {
          std::fprintf(stderr, "razavori audio: write error on %s\n", pcm_path);
          status = 1;
          break;
        }
        done += static_cast<int32_t>(w);
      }
      if (status) break;
    }
    if (AudioCommand(AUDIO_CMD_END_OF_STREAM, 0)) break;
  }
  if (wav_fd >= 0) {
    AudioCommand(AUDIO_CMD_CAPTURE_FINISH, 0);
    ::close(wav_fd);
  }
  if (pcm_fd >= 0) ::close(pcm_fd);
  AudioClose();
  if (switches.stream >= 0) SysClose();
  if (terminal) std::fprintf(stderr, "\n");

  int64_t frames = out_channels > 0 ? bytes_total / 2 / out_channels : 0;
  std::printf("output %d Hz, %d channel%s\nsamples %lld per channel (%.3f s)\n", out_rate, out_channels,
              out_channels == 1 ? "" : "s", static_cast<long long>(frames),
              out_rate > 0 ? static_cast<double>(frames) / out_rate : 0.0);
  return status;
}

}  // namespace razavori_cli
