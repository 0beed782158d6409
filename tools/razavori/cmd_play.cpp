// razavori play: plays an audio file, or the audio of a system stream,
// through the sound card, with a one-line progress display. Space pauses,
// q quits. When stdin is not a terminal it simply plays to the end.
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "audio/audio_api.h"
#include "media/media_api.h"
#include "tools/razavori/command.h"

namespace razavori_cli {

namespace {

// The terminal as we found it, restored on every way out.
struct termios g_saved_termios;
std::atomic<bool> g_raw{false};
volatile sig_atomic_t g_signal = 0;

void restore_terminal() {
  if (g_raw.exchange(false)) tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_termios);
}

void on_signal(int sig) {
  restore_terminal();
  g_signal = sig;
}

bool enter_raw_mode() {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &g_saved_termios) != 0) return false;
  struct termios raw = g_saved_termios;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return false;
  g_raw = true;
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(sig, &sa, nullptr);
  return true;
}

// A key typed, or 0 when none waits (within wait_ms).
int read_key(int wait_ms) {
  struct pollfd p {STDIN_FILENO, POLLIN, 0};
  if (poll(&p, 1, wait_ms) <= 0) return 0;
  unsigned char c = 0;
  return read(STDIN_FILENO, &c, 1) == 1 ? c : 0;
}

void print_time(int32_t ms) {
  if (ms < 0) ms = 0;
  std::printf("%d:%02d.%d", ms / 60000, ms / 1000 % 60, ms / 100 % 10);
}

void show_progress(int32_t elapsed, int32_t total, bool paused) {
  std::printf("\r  ");
  print_time(elapsed);
  if (total > 0) {
    std::printf(" / ");
    print_time(total);
  }
  std::printf("%s   ", paused ? "  [paused]" : "");
  std::fflush(stdout);
}

// Length in ms from the file's size and the stream's byte rate.
int32_t estimate_total(const char *file) {
  struct stat st {};
  if (stat(file, &st) != 0) return 0;
  intptr_t byte_rate = AudioCommand(AUDIO_CMD_BYTE_RATE, 0);
  if (byte_rate <= 0) return 0;
  return static_cast<int32_t>(static_cast<int64_t>(st.st_size) * 1000 / byte_rate);
}

}  // namespace

// The path for files without video; the video player takes the others.
int play_audio_only(const char *file) {
  int32_t opened = AudioOpenFile(file);
  if (opened == 0 || opened == -1) {
    std::fprintf(stderr, "razavori play: cannot play the audio of %s\n", file);
    return 1;
  }
  if (!AudioOpenOutput(nullptr)) {
    std::fprintf(stderr, "razavori play: no decodable audio in %s\n", file);
    AudioClose();
    return 1;
  }
  int32_t total = estimate_total(file);
  if (AudioPlay() != 1) {
    std::fprintf(stderr, "razavori play: no sound device could be opened\n");
    AudioClose();
    return 1;
  }
  bool interactive = enter_raw_mode();
  bool paused = false;
  int status = 0;
  for (;;) {
    // The media layer hands the engine its buffers through its callback
    // queue, which the player's loop runs.
    SysRunCallbacks(5);
    int key = interactive ? read_key(20) : (usleep(20000), 0);
    if (g_signal) {
      status = 130;
      break;
    }
    if (key == 'q' || key == 'Q') break;
    if (key == ' ') {
      paused = !paused;
      AudioCommand(paused ? AUDIO_CMD_DEVICE_PAUSE : AUDIO_CMD_DEVICE_RESTART, 0);
    }
    int32_t elapsed = AudioGetPlayTime();
    show_progress(elapsed, total, paused);
    if (!paused && AudioCommand(AUDIO_CMD_END_OF_STREAM, 0) && AudioCommand(AUDIO_CMD_POSITION_STALLED, 0) == 1)
      break;
  }
  restore_terminal();
  std::printf("\n");
  AudioStop();
  AudioClose();
  return status;
}

int run_play(int argc, char **argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: razavori play FILE\n  space pauses and resumes, q quits\n");
    return 2;
  }
  return play_audio_only(argv[1]);
}

}  // namespace razavori_cli
