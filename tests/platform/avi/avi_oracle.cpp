#include "tests/platform/avi/avi_oracle.h"

#include <cstdio>
#include <sstream>

namespace avi_test {

std::string run(const std::string &command, bool *ok) {
  std::string out;
  FILE *p = ::popen(command.c_str(), "r");
  if (!p) {
    if (ok) *ok = false;
    return out;
  }
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int status = ::pclose(p);
  if (ok) *ok = status == 0;
  return out;
}

std::vector<std::vector<Packet>> probe_packets(const std::string &path) {
  bool ok = false;
  std::string text = run(
      "ffprobe -v error -show_entries packet=stream_index,size,pos,flags -of csv=p=0 '" + path + "'", &ok);
  std::vector<std::vector<Packet>> out;
  if (!ok) return out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    int stream = 0;
    long long size = 0, pos = 0;
    char flags[8] = {};
    if (std::sscanf(line.c_str(), "%d,%lld,%lld,%7s", &stream, &size, &pos, flags) != 4 || stream < 0)
      continue;
    if (size_t(stream) >= out.size()) out.resize(size_t(stream) + 1);
    out[size_t(stream)].push_back({size, pos, flags[0] == 'K'});
  }
  return out;
}

std::vector<std::vector<uint32_t>> frame_crcs(const std::string &path) {
  bool ok = false;
  std::string text = run("ffmpeg -v error -i '" + path + "' -map 0 -c copy -f framecrc -", &ok);
  std::vector<std::vector<uint32_t>> out;
  if (!ok) return out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    int stream = 0;
    long long dts, pts, duration, size;
    unsigned crc = 0;
    if (std::sscanf(line.c_str(), "%d, %lld, %lld, %lld, %lld, 0x%x", &stream, &dts, &pts, &duration, &size,
                    &crc) != 6)
      continue;
    if (size_t(stream) >= out.size()) out.resize(size_t(stream) + 1);
    out[size_t(stream)].push_back(crc);
  }
  return out;
}

uint32_t adler32(const uint8_t *p, size_t n) {
  uint32_t a = 0, b = 0;  // framecrc starts from 0, not 1
  for (size_t i = 0; i < n; ++i) {
    a = (a + p[i]) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

std::string ffmpeg_raw(const std::string &path, const char *pix_fmt) {
  bool ok = false;
  std::string out = run("ffmpeg -v error -threads 1 -i '" + path +
                            "' -map 0:v:0 -fps_mode passthrough -pix_fmt " + pix_fmt + " -f rawvideo -",
                        &ok);
  return ok ? out : std::string();
}

}  // namespace avi_test
