// Full screen on an X server without a window manager (Xvfb): the window
// really covers the screen while SDL lays the picture out for the screen,
// and comes back to its own size afterwards. Without the mend the request
// went unanswered: the window kept its size and the picture was laid out
// for an area it did not have (cut off and shifted).
#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/support/test_media.h"
#include "video/engine/window/window_display.h"
#include "video/video_api.h"

// Xlib's macros (None, Bool, Status) after every other header.
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>

namespace {

constexpr int kScreenW = 800;
constexpr int kScreenH = 600;

// An Xvfb of its own; the display number comes back through -displayfd
// once the server takes connections.
class XServer {
 public:
  bool start() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      const std::string screen = std::to_string(kScreenW) + "x" + std::to_string(kScreenH) + "x24";
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
             static_cast<char *>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
      close(fds[0]);
      return false;
    }
    char buf[32] = {};
    ssize_t n = 0, got = 0;
    while (got < static_cast<ssize_t>(sizeof buf) - 1 &&
           (n = read(fds[0], buf + got, sizeof buf - 1 - got)) > 0) {
      got += n;
      if (buf[got - 1] == '\n') break;
    }
    close(fds[0]);
    if (got <= 0) return false;
    display_ = ":" + std::string(buf, static_cast<size_t>(buf[got - 1] == '\n' ? got - 1 : got));
    return true;
  }
  ~XServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string &display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// The size the X server gives the window, whatever SDL believes.
bool real_size(int *w, int *h) {
  SDL_Window *window = kestrum::window::sdl_window();
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  XSync(info.info.x11.display, False);
  XWindowAttributes a{};
  if (!XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &a)) return false;
  *w = a.width;
  *h = a.height;
  return true;
}

TEST(FullScreenX11, TheWindowReallyCoversTheScreenAndComesBack) {
  XServer server;
  ASSERT_TRUE(server.start()) << "Xvfb is needed for this test";
  setenv("DISPLAY", server.display().c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);
  VideoStartup();
  const std::string path = testing_support::media_path("video_mpeg1.m1v");
  ASSERT_EQ(VideoOpen(nullptr, path.c_str(), nullptr, 0), 1);
  int w = 0, h = 0;
  ASSERT_TRUE(real_size(&w, &h));
  EXPECT_EQ(w, 352);
  EXPECT_EQ(h, 288);

  ASSERT_EQ(VideoCommand(VCMD_FULL_SCREEN_ON, 0), 1);
  ASSERT_TRUE(real_size(&w, &h));
  EXPECT_EQ(w, kScreenW);
  EXPECT_EQ(h, kScreenH);
  int32_t laid_w = 0, laid_h = 0;
  kestrum::window::window_size(&laid_w, &laid_h);
  EXPECT_EQ(laid_w, w);  // the size pictures are laid out for is the real one
  EXPECT_EQ(laid_h, h);

  ASSERT_EQ(VideoCommand(VCMD_FULL_SCREEN_OFF, 0), 1);
  ASSERT_TRUE(real_size(&w, &h));
  EXPECT_EQ(w, 352);
  EXPECT_EQ(h, 288);
  VideoClose(1);
  VideoShutdown();
}

}  // namespace
