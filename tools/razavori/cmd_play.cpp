// razavori play FILE: plays an MPEG file, a Video CD track, a VOB or an AVI
// file through the video engine (files with sound only through its
// audio-only open).
// Keys: space pause/resume, left/right 10 s, up/down 1 min, f full screen,
// + / - volume, s one picture while paused, b benchmark, q quit. Without a
// terminal on stdin it plays to the end.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_api.h"
#include "media/demux/clock_span.h"
#include "media/media_api.h"
#include "tools/razavori/audio_switches.h"
#include "tools/razavori/input_reason.h"
#include "tools/razavori/overlay_arg.h"
#include "tools/razavori/plugin_arg.h"
#include "tools/razavori/source_arg.h"
#include "video/video_api.h"

namespace razavori_cli {

namespace {

constexpr int32_t kSmallSeekSeconds = 10;
constexpr int32_t kLargeSeekSeconds = 60;
// What a system stream's packs add to the elementary bytes: a pack header
// and a packet header, about 30 bytes of every 2,048.
constexpr int64_t kPackBytes = 2048;
constexpr int64_t kPackHeaderBytes = 30;
constexpr int kPollMs = 100;
// The display time after which the bytes read give the rate.
constexpr int32_t kMeasureAfterMs = 3000;
constexpr int32_t kAviPositionsPerSecond = 1000;

// Puts the terminal in single-key mode for the life of the object.
class RawTerminal {
 public:
  RawTerminal() {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &old_) != 0) return;
    termios raw = old_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  }
  ~RawTerminal() {
    if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &old_);
  }
  bool active() const { return active_; }

 private:
  termios old_{};
  bool active_ = false;
};

enum class Key { none, pause, left, right, up, down, full, louder, quieter, step, bench, quit };

Key read_key() {
  pollfd p{STDIN_FILENO, POLLIN, 0};
  if (poll(&p, 1, kPollMs) <= 0) return Key::none;
  unsigned char c[3] = {};
  const ssize_t n = read(STDIN_FILENO, c, sizeof c);
  if (n <= 0) return Key::none;
  if (c[0] == 27 && n == 3 && c[1] == '[') {
    switch (c[2]) {
      case 'A':
        return Key::up;
      case 'B':
        return Key::down;
      case 'C':
        return Key::right;
      case 'D':
        return Key::left;
      default:
        return Key::none;
    }
  }
  switch (c[0]) {
    case ' ':
      return Key::pause;
    case 'f':
      return Key::full;
    case '+':
    case '=':
      return Key::louder;
    case '-':
      return Key::quieter;
    case 's':
      return Key::step;
    case 'b':
      return Key::bench;
    case 'q':
    case 27:
      return Key::quit;
    default:
      return Key::none;
  }
}

// A program stream file's own average: its bytes over the clock between its
// first and last packs. 0 when the file does not tell.
int32_t clock_bytes_per_second(const char *path) {
  DravikClockSpan span{};
  if (!DravikGetClockSpan(path, &span)) return 0;
  const int64_t rate = (span.last_offset - span.first_offset) * 45000 /
                       (int64_t{span.last_scr_half} - int64_t{span.first_scr_half});
  return rate > 0 && rate < INT32_MAX ? static_cast<int32_t>(rate) : 0;
}

// Bytes per second of the open source, to turn seconds into byte positions,
// when the clock span gives none.
// The streams' own bit rates (with the packs' share when there is sound to
// multiplex) come closest: a system stream's mux rate is a ceiling, and its
// clock-reference estimate looks at the first block only. The media layer's
// rate is the fallback when the headers give none.
int32_t source_bytes_per_second(bool audio_only) {
  const int64_t video = audio_only ? 0 : std::max(VideoGetBitRate(), 0) / 8;
  // The sound's rate comes in kbit/s shifted left by 10.
  const int64_t audio = int64_t{std::max(AudioGetBitRate(), 0)} * 1000 / 1024 / 8;
  int64_t rate = video + audio;
  if (audio > 0 && video > 0) rate += rate * kPackHeaderBytes / (kPackBytes - kPackHeaderBytes);
  if (rate <= 0 && SysControl(CTL_RATE_VALID, 0)) rate = SysControl(CTL_BYTE_RATE, 0);
  return static_cast<int32_t>(std::clamp<int64_t>(rate, 1, INT32_MAX));
}

struct Player {
  bool audio_only = false;
  bool paused = false;
  bool full = false;
  int32_t bytes_per_second = 1;
  int32_t clock_rate = 0;  // from the clock span, when the file has one
  int32_t length = 0;

  int32_t position() const { return VideoSeek(0, 1); }

  void seek_seconds(int32_t seconds) {
    // The length never goes below 0 (a clamp with reversed bounds is undefined).
    const int64_t target = int64_t{position()} + int64_t{seconds} * bytes_per_second;
    VideoSeek(static_cast<int32_t>(std::clamp<int64_t>(target, 0, std::max(length, 0))), 0);
  }

  void toggle_pause() {
    if (!paused) {
      VideoHalt();
      VideoCommand(VCMD_TOGGLE_AUDIO_PAUSE, 0);
    } else {
      VideoCommand(VCMD_TOGGLE_AUDIO_PAUSE, 0);
      VideoRun();
    }
    paused = !paused;
  }

  void benchmark() {
    KestrumBenchmarkRecord r{};
    if (!VideoCommand(VCMD_BENCHMARK, reinterpret_cast<intptr_t>(&r))) {
      std::printf("\nbenchmark: not available\n");
      return;
    }
    std::printf("\nbenchmark: %d pictures in %d ms (decode %d ms, present %d ms)", r.pictures, r.elapsed_ms,
                r.decode_ms, r.present_ms);
    if (r.elapsed_ms > 0) std::printf(", %.1f pictures/s", 1000.0 * r.pictures / r.elapsed_ms);
    std::printf("\n");
  }

  void show_position() {
    // The sound's bit rate is known once the sound has opened.
    if (!clock_rate) bytes_per_second = source_bytes_per_second(audio_only);
    // The picture on screen knows its display time (pictures repeating a
    // field count their length) unless a seek by position made it unknown;
    // then the byte position stands in.
    const auto shown_ms = static_cast<int32_t>(VideoCommand(VCMD_PICTURE_TIME, 0));
    // Without the packs' clock span, once a few seconds have been shown the
    // bytes they took are a better rate than the headers' (a variable rate
    // stream's header gives its ceiling).
    if (!clock_rate && shown_ms >= kMeasureAfterMs) {
      bytes_per_second =
          static_cast<int32_t>(std::clamp<int64_t>(int64_t{position()} * 1000 / shown_ms, 1, INT32_MAX));
    }
    const int32_t s = shown_ms >= 0 ? shown_ms / 1000 : position() / std::max(bytes_per_second, 1);
    const auto total =
        static_cast<int32_t>((int64_t{length} + bytes_per_second / 2) / std::max(bytes_per_second, 1));
    std::printf("\r%s %02d:%02d / %02d:%02d  %d / %d bytes   ", paused ? "[paused]" : "        ", s / 60,
                s % 60, total / 60, total % 60, position(), length);
    std::fflush(stdout);
  }
};

}  // namespace

int run_play(int argc, char **argv) {
  PluginSet plugins;
  argc = plugins.take(argc, argv, "play", true);
  if (argc < 0) return 2;
  std::vector<std::string> args(argv + 1, argv + argc);
  SourceArg arg;
  std::string error;
  AudioSwitches switches;
  if (!take_disc_options(args, &arg, &error) || !take_audio_switches(args, &switches, &error)) {
    std::fprintf(stderr, "razavori play: %s\n", error.c_str());
    return 2;
  }
  // --subpicture N and --overlay PIC.bmp[@X,Y[,OPACITY]]: drawn into every
  // presented picture.
  int32_t subpicture = -1;
  OverlayArg overlay;
  bool with_overlay = false;
  for (size_t i = 0; i + 1 < args.size();) {
    if (args[i] == "--subpicture") {
      subpicture = parse_subpicture(args[i + 1].c_str());
      if (subpicture < 0) {
        std::fprintf(stderr, "razavori play: --subpicture wants a stream number 0-31 or id 0x20-0x3F\n");
        return 2;
      }
    } else if (args[i] == "--overlay") {
      if (!parse_overlay("play", args[i + 1].c_str(), &overlay)) return 2;
      with_overlay = true;
    } else {
      ++i;
      continue;
    }
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
               args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
  }
  if (args.size() != 1) {
    std::fprintf(
        stderr,
        "usage: razavori play FILE [--track N] [--entry N|MM:SS:FF] [--angle N] [--subpicture N]\n"
        "                          [--overlay PIC.bmp[@X,Y[,OPACITY]]] [--plugin LIB] [--dvb CAPTURE]\n"
        "                          [--stream ID] [--multichannel PRESET [--alt]] [--passthrough]\n");
    return 2;
  }
  if (with_overlay && !load_overlay("play", &overlay)) return 1;
  arg.file = args[0];
  if (!resolve_source(&arg, &error)) {
    std::fprintf(stderr, "razavori play: %s\n", error.c_str());
    return 1;
  }
  const char *path = arg.file.c_str();
  VideoStartup();
  if (subpicture >= 0) choose_subpicture(subpicture);
  if (with_overlay && !install_overlay("play", overlay)) {
    VideoShutdown();
    return 1;
  }
  apply_audio_switches(switches);
  if (switches.stream >= 0) SysControl(CTL_AUDIO_PREFER, switches.stream);
  Player player;
  if (VideoOpenBuffer(nullptr, arg.name(), arg.size(), nullptr, arg.start) == 1) {
    if (arg.angle >= 0) SysControl(CTL_ANGLE_SELECT, arg.angle);
    if (switches.stream >= 0) SysControl(CTL_AUDIO_SELECT, switches.stream);
    player.bytes_per_second = source_bytes_per_second(false);
  } else if (VideoOpenAudioOnly(nullptr, path, 0, 0) == 1) {
    player.audio_only = true;
    player.bytes_per_second = source_bytes_per_second(true);
  } else {
    report_input_failure("play", path, "cannot open");
    VideoShutdown();
    return 1;
  }
  // The header rates of a variable-rate DVD give its ceiling, not what it
  // runs at: the clock across the whole file does.
  player.clock_rate = clock_bytes_per_second(path);
  // An AVI's positions and length are milliseconds.
  if (!player.audio_only && VideoCommand(VCMD_SOURCE_TAG, 0) == KESTRUM_AVI_SOURCE_TAG)
    player.clock_rate = kAviPositionsPerSecond;
  if (player.clock_rate) player.bytes_per_second = player.clock_rate;
  player.length = static_cast<int32_t>(VideoCommand(VCMD_TOTAL_LENGTH, 0));
  VideoCommand(VCMD_PLAY, 0);

  RawTerminal terminal;
  bool quit = false;
  while (!quit && !VideoCommand(VCMD_PLAYBACK_ENDED, 0)) {
    Key key = Key::none;
    if (terminal.active()) {
      key = read_key();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    // The window answers its events while no pictures come (paused).
    if (auto proc = reinterpret_cast<KestrumWindowProc>(VideoGetWindowProc())) proc();
    switch (key) {
      case Key::pause:
        player.toggle_pause();
        break;
      case Key::left:
        player.seek_seconds(-kSmallSeekSeconds);
        break;
      case Key::right:
        player.seek_seconds(kSmallSeekSeconds);
        break;
      case Key::down:
        player.seek_seconds(-kLargeSeekSeconds);
        break;
      case Key::up:
        player.seek_seconds(kLargeSeekSeconds);
        break;
      case Key::full:
        player.full = !player.full;
        VideoCommand(player.full ? VCMD_FULL_SCREEN_ON : VCMD_FULL_SCREEN_OFF, 0);
        break;
      case Key::louder:
        VideoCommand(VCMD_VOLUME_UP, 0);
        break;
      case Key::quieter:
        VideoCommand(VCMD_VOLUME_DOWN, 0);
        break;
      case Key::step:
        if (player.paused) VideoStep();
        break;
      case Key::bench:
        player.benchmark();
        break;
      case Key::quit:
        quit = true;
        break;
      case Key::none:
        break;
    }
    if (terminal.active()) player.show_position();
  }
  if (terminal.active()) std::printf("\n");
  if (player.audio_only) {
    VideoCloseAudioOnly(0);
  } else {
    VideoClose(1);
  }
  VideoShutdown();
  return 0;
}

}  // namespace razavori_cli
