#include "tests/components/encoder_support/encoder_support.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/compare.h"
#include "tests/support/test_media.h"

namespace encoder_test {

std::string shell_quoted(const std::string &s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

ToolRun run_tool(const std::string &command, bool with_stderr) {
  ToolRun r;
  const std::string cmd = command + (with_stderr ? " 2>&1" : " 2>/dev/null");
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

bool have_tool(const char *name) {
  return run_tool(std::string("command -v ") + name + " >/dev/null").status == 0;
}

std::vector<Fields> probe_streams(const std::string &path) {
  const ToolRun r = run_tool(
      "ffprobe -v error -count_frames -show_entries "
      "stream=codec_name,codec_type,width,height,r_frame_rate,nb_read_frames,sample_rate,channels,bit_rate,"
      "id "
      "-of compact=p=0 " +
      shell_quoted(path));
  std::vector<Fields> streams;
  if (r.status != 0) return streams;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    Fields f;
    std::istringstream parts(line);
    std::string part;
    while (std::getline(parts, part, '|')) {
      const size_t eq = part.find('=');
      if (eq != std::string::npos) f[part.substr(0, eq)] = part.substr(eq + 1);
    }
    if (!f.empty()) streams.push_back(f);
  }
  return streams;
}

std::vector<double> first_packet_times(const std::string &path) {
  std::vector<double> times;
  for (int s = 0; s < 2; ++s) {
    const ToolRun r =
        run_tool("ffprobe -v error -select_streams " + std::to_string(s) +
                 " -show_entries packet=pts_time -read_intervals %+#1 -of csv=p=0 " + shell_quoted(path));
    if (r.status != 0 || r.out.empty()) break;
    times.push_back(std::atof(r.out.c_str()));
  }
  return times;
}

const Pictures &test_pictures() {
  static const Pictures pictures = [] {
    Pictures p;
    const std::string yuv = testing_support::media_path("video_mpeg1.m1v.yuv");
    const auto info = testing_support::read_yuv_info(yuv + ".txt");
    if (!info) return p;
    p.width = info->width;
    p.height = info->height;
    p.bgr_path = testing_support::scratch_dir() + "/pictures.bgr";
    const std::string size = std::to_string(p.width) + "x" + std::to_string(p.height);
    const ToolRun r = run_tool("ffmpeg -v error -y -f rawvideo -pix_fmt yuv420p -s " + size + " -i " +
                               shell_quoted(yuv) + " -pix_fmt bgr24 -f rawvideo " + shell_quoted(p.bgr_path));
    if (r.status != 0) return p;
    p.bgr = file_bytes(p.bgr_path);
    p.count = int(p.bgr.size() / (size_t(p.width) * size_t(p.height) * 3));
    return p;
  }();
  return pictures;
}

namespace {

void put16(std::vector<uint8_t> &v, size_t at, uint32_t x) {
  v[at] = uint8_t(x);
  v[at + 1] = uint8_t(x >> 8);
}
void put32(std::vector<uint8_t> &v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + size_t(i)] = uint8_t(x >> (8 * i));
}

}  // namespace

std::vector<uint8_t> make_dib(const uint8_t *bgr, int width, int height, DibForm form) {
  const int bits = form == DibForm::bgr32      ? 32
                   : form == DibForm::palette8 ? 8
                   : form == DibForm::rgb555   ? 16
                                               : 24;
  const size_t stride = (size_t(width) * size_t(bits) + 31) / 32 * 4;
  const size_t palette = bits == 8 ? 1024 : 0;
  std::vector<uint8_t> dib(40 + palette + stride * size_t(height), 0);
  put32(dib, 0, 40);
  put32(dib, 4, uint32_t(width));
  put32(dib, 8, uint32_t(form == DibForm::bgr24_top_down ? -height : height));
  put16(dib, 12, 1);
  put16(dib, 14, uint32_t(bits));
  put32(dib, 20, uint32_t(stride * size_t(height)));
  if (bits == 8) {
    for (int i = 0; i < 256; ++i) {
      const int r = (i >> 5) & 7, g = (i >> 2) & 7, b = i & 3;
      dib[40 + size_t(i) * 4 + 0] = uint8_t(b * 255 / 3);
      dib[40 + size_t(i) * 4 + 1] = uint8_t(g * 255 / 7);
      dib[40 + size_t(i) * 4 + 2] = uint8_t(r * 255 / 7);
    }
  }
  for (int row = 0; row < height; ++row) {
    const int dst_row = form == DibForm::bgr24_top_down ? row : height - 1 - row;
    uint8_t *d = dib.data() + 40 + palette + size_t(dst_row) * stride;
    const uint8_t *s = bgr + size_t(row) * size_t(width) * 3;
    for (int x = 0; x < width; ++x, s += 3) {
      switch (bits) {
        case 8:
          d[x] =
              uint8_t(((s[2] * 7 + 127) / 255) << 5 | ((s[1] * 7 + 127) / 255) << 2 | (s[0] * 3 + 127) / 255);
          break;
        case 16: {
          const unsigned v = unsigned(s[2] >> 3) << 10 | unsigned(s[1] >> 3) << 5 | unsigned(s[0] >> 3);
          d[2 * x] = uint8_t(v);
          d[2 * x + 1] = uint8_t(v >> 8);
          break;
        }
        case 24:
          d[3 * x] = s[0];
          d[3 * x + 1] = s[1];
          d[3 * x + 2] = s[2];
          break;
        default:
          d[4 * x] = s[0];
          d[4 * x + 1] = s[1];
          d[4 * x + 2] = s[2];
          d[4 * x + 3] = 0;
          break;
      }
    }
  }
  return dib;
}

int run_with_file_limit(uint64_t limit, const std::function<int()> &body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl = {rlim_t(limit), rlim_t(limit)};
    setrlimit(RLIMIT_FSIZE, &rl);
    _exit(body());
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint8_t> file_bytes(const std::string &path) {
  auto bytes = testing_support::read_file_bytes(path);
  return bytes ? *bytes : std::vector<uint8_t>{};
}

void write_bytes(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

bool file_exists(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace encoder_test
