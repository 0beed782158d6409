// razavori demux FILE [--video OUT] [--audio OUT] [--stream ID OUT] [--list]:
// pulls the selected streams through the media library's read exports to
// the end of the file, as the engines do (video and audio from two threads).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "media/demux/demux_info.h"
#include "media/media_api.h"
#include "tools/razavori/audio_switches.h"
#include "tools/razavori/command.h"
#include "tools/razavori/input_reason.h"
#include "tools/razavori/plugin_arg.h"
#include "tools/razavori/source_arg.h"

namespace razavori_cli {

namespace {

constexpr int32_t kVideoChunk = 16384;
constexpr int32_t kAudioChunk = 4096;

struct Output {
  const char *path = nullptr;
  FILE *file = nullptr;
  long long bytes = 0;
};

void pull_video(Output &out) {
  std::vector<char> buf(kVideoChunk);
  for (;;) {
    const int32_t n = SysReadVideo(buf.data(), kVideoChunk);
    if (n <= 0) break;
    std::fwrite(buf.data(), 1, static_cast<size_t>(n), out.file);
    out.bytes += n;
    if (n < kVideoChunk) break;
  }
}

void pull_audio(Output &out, int32_t stream) {
  std::vector<char> buf(kAudioChunk);
  for (;;) {
    const int32_t n =
        stream < 0 ? SysReadAudio(buf.data(), kAudioChunk) : SysReadStream(stream, buf.data(), kAudioChunk);
    if (n <= 0) break;
    std::fwrite(buf.data(), 1, static_cast<size_t>(n), out.file);
    out.bytes += n;
    if (n < kAudioChunk) break;
  }
}

void print_ids(const char *label, const int32_t *ids, int32_t count, const char *format) {
  std::printf("%s:", label);
  for (int32_t i = 0; i < count; ++i) std::printf(format, static_cast<int>(ids[i]));
  std::printf("\n");
}

void print_list() {
  const auto audio_count = static_cast<int32_t>(SysControl(CTL_AUDIO_COUNT, 0));
  const auto *audio = reinterpret_cast<const int32_t *>(SysControl(CTL_AUDIO_LIST, 0));
  const auto *spu = reinterpret_cast<const DravikSpuTable *>(SysControl(CTL_SPU_TABLE, 0));
  const auto mix = static_cast<int32_t>(SysControl(CTL_STREAM_MIX, 0));
  DravikDemuxInfo info;
  DravikGetDemuxInfo(&info);
  print_ids("video", info.video_ids, info.video_count, " 0x%02X");
  print_ids("audio", audio, audio_count, " 0x%02X");
  print_ids("subpicture", spu->numbers, spu->count, " %d");
  std::printf("byte rate: %d\n", static_cast<int>(SysControl(CTL_BYTE_RATE, 0)));
  std::printf("rate valid: %d\n", static_cast<int>(SysControl(CTL_RATE_VALID, 0)));
  std::printf("mpeg-2: %d\n", static_cast<int>(info.mpeg2));
  if (info.transport) std::printf("transport stream: 1\n");
  std::printf("stream mix: %d\n", static_cast<int>(mix));
}

int usage() {
  std::fprintf(
      stderr,
      "usage: razavori demux FILE [--video OUT] [--audio OUT] [--stream ID OUT] [--list] [--dvb CAPTURE]\n"
      "                          [--track N] [--entry N|MM:SS:FF] [--angle N]\n");
  return 2;
}

bool open_output(Output &o) {
  o.file = std::fopen(o.path, "wb");
  if (!o.file) std::fprintf(stderr, "razavori demux: cannot write %s\n", o.path);
  return o.file != nullptr;
}

}  // namespace

int run_demux(int argc, char **argv) {
  PluginSet dvb;
  argc = dvb.take(argc, argv, "demux", true);
  if (argc < 0) return 2;
  if (argc < 2) return usage();
  std::vector<std::string> args(argv + 1, argv + argc);
  SourceArg arg;
  std::string error;
  if (!take_disc_options(args, &arg, &error)) {
    std::fprintf(stderr, "razavori demux: %s\n", error.c_str());
    return 2;
  }
  const char *file = nullptr;
  Output video, audio;
  int32_t stream = -1;
  bool list = false;
  const size_t n = args.size();
  for (size_t i = 0; i < n; ++i) {
    const char *a = args[i].c_str();
    if (!std::strcmp(a, "--video") && i + 1 < n) {
      video.path = args[++i].c_str();
    } else if (!std::strcmp(a, "--audio") && i + 1 < n) {
      audio.path = args[++i].c_str();
    } else if (!std::strcmp(a, "--stream") && i + 2 < n) {
      stream = static_cast<int32_t>(std::strtol(args[++i].c_str(), nullptr, 0));
      audio.path = args[++i].c_str();
    } else if (!std::strcmp(a, "--list")) {
      list = true;
    } else if (a[0] != '-' && !file) {
      file = a;
    } else {
      return usage();
    }
  }
  if (!file) return usage();
  arg.file = file;
  if (!resolve_source(&arg, &error)) {
    std::fprintf(stderr, "razavori demux: %s\n", error.c_str());
    return 1;
  }
  int32_t length = 0;
  const SourceKind kind = SysProbeBuffer(arg.name(), arg.size(), &length);
  if (kind != SOURCE_KIND_SYSTEM && kind != SOURCE_KIND_VIDEO && kind != SOURCE_KIND_AUDIO) {
    // An empty listing would read as a stream with nothing in it.
    report_input_failure("demux", file, "no MPEG stream found");
    return 1;
  }
  if (open_source_arg(arg, &length) == DRAVIK_HANDLE_NONE) {
    report_input_failure("demux", file, "cannot open");
    return 1;
  }
  if (list) print_list();
  if ((video.path && !open_output(video)) || (audio.path && !open_output(audio))) {
    SysClose();
    return 1;
  }
  if (stream >= 0 && !select_audio_stream(stream)) {
    std::fprintf(stderr, "razavori demux: stream 0x%02X not found\n", static_cast<unsigned>(stream));
  }
  // A path nobody reads is switched off, so its ring does not fill up.
  if (video.path && !audio.path) SysFlush(1);
  if (audio.path && !video.path) SysFlush(2);
  std::thread video_thread;
  if (video.path) video_thread = std::thread([&] { pull_video(video); });
  if (audio.path) pull_audio(audio, stream);
  if (video_thread.joinable()) video_thread.join();
  SysClose();
  for (Output *o : {&video, &audio}) {
    if (!o->file) continue;
    std::fclose(o->file);
    std::printf("%s: %lld bytes\n", o->path, o->bytes);
  }
  return 0;
}

}  // namespace razavori_cli
