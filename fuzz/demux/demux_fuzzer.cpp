// Fuzz harness: the input becomes an in-memory file served through host
// file table A (a program stream, a transport stream or a DVD file, as the
// first byte chooses the name), which is opened and read the way the
// engines read: video and audio pulled to
// the end, a stream switch, a seek back and a second pull. The same file is
// then extracted (every record to a writer that reads it) and a segment of
// it saved to /dev/null.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "media/media_api.h"
#include "tests/support/memory_files.h"

namespace {

std::string input_path(uint8_t selector) {
  static const char *kExt[] = {"mpg", "vob", "ts", "dat"};
  return std::string("memory:fuzz.") + kExt[selector & 3];
}

// Alternates video and audio reads until both have run dry; bounded so a
// fault that keeps delivering cannot hang the run.
void pull_both(int32_t audio_id) {
  std::vector<uint8_t> video(16384), audio(4096);
  bool video_done = false, audio_done = false;
  for (int i = 0; i < 20000 && !(video_done && audio_done); ++i) {
    if (!video_done) video_done = SysReadVideo(video.data(), 16384) < 16384;
    if (!audio_done) {
      const int32_t n =
          audio_id < 0 ? SysReadAudio(audio.data(), 4096) : SysReadStream(audio_id, audio.data(), 4096);
      audio_done = n < 4096;
    }
    if (i % 8 == 0) SysFindPicture();
  }
}

volatile uint32_t g_sink;

// Reads every byte handed over, so that a record pointing outside its
// buffer is caught.
void take_record(int32_t kind, int32_t index, const void *data, int32_t length) {
  const auto *p = static_cast<const uint8_t *>(data);
  uint32_t sum = static_cast<uint32_t>(kind * 33 + index);
  for (int32_t i = 0; i < length; ++i) sum += p[i];
  g_sink = sum;
}

void extract_all(const std::string &path) {
  SysControl(CTL_SET_WRITER, reinterpret_cast<intptr_t>(&take_record));
  SysControl(CTL_SET_NO_PROBE, 1);
  if (SysControl(CTL_EXTRACT_OPEN, reinterpret_cast<intptr_t>(path.c_str())) != -1) {
    for (int i = 0; i < 200000 && !SysControl(CTL_AT_END, 0); ++i) SysControl(CTL_EXTRACT_STEP, 0);
  }
  SysControl(CTL_EXTRACT_CLOSE, 0);
  SysControl(CTL_SET_NO_PROBE, 0);
  SysControl(CTL_SET_WRITER, 0);
}

// A segment between two positions the input chooses.
void save_segment(const std::string &path, uint8_t a, uint8_t b, size_t size) {
  if (SysOpen(path.c_str(), 0) == -1) return;
  const int fd = ::open("/dev/null", O_WRONLY);
  const auto start = static_cast<int32_t>(size * a / 256), end = static_cast<int32_t>(size * b / 256 + 1);
  SysControl(CTL_SET_SEGMENT_START, start);
  SysControl(CTL_SET_SEGMENT_END, end);
  if (SysControl(CTL_SEGMENT_BEGIN, 0)) {
    SysControl(CTL_SEGMENT_HEAD, fd);
    for (int i = 0; i < 1000; ++i) {
      const intptr_t done = SysControl(CTL_SEGMENT_COPY, fd);
      if (done < 0 || done >= end - start) break;
    }
    SysControl(CTL_SEGMENT_FINISH, fd);
  }
  if (fd >= 0) ::close(fd);
  SysClose();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > (4u << 20)) return 0;
  const std::string path = input_path(data[0]);
  testing_support::MemoryFiles files;
  files.add(path, std::vector<uint8_t>(data + 1, data + size));
  static const FileIoTable table = testing_support::MemoryFiles::table();
  SysControl(CTL_SET_FILE_IO_A, reinterpret_cast<intptr_t>(&table));

  std::vector<uint8_t> spu(53220);
  if (SysOpen(path.c_str(), 0) != -1) {
    SysControl(CTL_SPU_BUFFER, reinterpret_cast<intptr_t>(spu.data()));
    SysControl(CTL_SPU_CALLBACK, reinterpret_cast<intptr_t>(+[](intptr_t) {}));
    SysControl(CTL_SPU_ENABLE, 1);
    pull_both(-1);
    // Every audio id seen: select the last one and pull again from the start.
    const auto count = static_cast<int32_t>(SysControl(CTL_AUDIO_COUNT, 0));
    const auto *ids = reinterpret_cast<const int32_t *>(SysControl(CTL_AUDIO_LIST, 0));
    const int32_t id = count > 0 ? ids[count - 1] : -1;
    if (id >= 0) SysControl(CTL_AUDIO_SELECT, id);
    SysSeek(0, 0);
    pull_both(id);
    SysControl(CTL_SPU_ENABLE, 0);
    SysControl(CTL_SPU_BUFFER, 0);
    SysControl(CTL_SPU_CALLBACK, 0);
    SysClose();
  }
  extract_all(path);
  if (size > 3) save_segment(path, data[1], data[2], size - 1);
  SysClose();
  SysControl(CTL_SET_FILE_IO_A, 0);
  // Every handle the library opened was closed, once.
  if (files.open_now() != 0 || files.counts.bad_handle.load() != 0) __builtin_trap();
  return 0;
}
