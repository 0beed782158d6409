// Source plug-ins: the probe offers a path by extension or by the ".RMF"
// magic and as a last resort, remembers the answer, opens with a fallback
// over the plug-ins, and reports fixed levels while one serves the source;
// the y4m plug-in built in the tree plays through the video engine.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "media/media_api.h"
#include "platform/dynamic_library.h"
#include "tests/media/demux/stream_builder.h"
#include "tests/media/hooks/plugin_clip.h"
#include "tests/media/hooks/recording_plugin.h"
#include "tests/support/test_media.h"
#include "video/video_api.h"

namespace hooks_test {
namespace {

using demux_test::Bytes;

constexpr int32_t kClipPictures = 100;
constexpr int32_t kClipPictureBytes = 352 * 288 * 3 / 2;

std::string write(const std::string &name, const std::string &text) {
  const std::string path = testing_support::scratch_dir() + "/" + name;
  FILE *f = std::fopen(path.c_str(), "wb");
  if (f) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  return path;
}

class Plugins : public ::testing::Test {
 protected:
  void TearDown() override {
    SysControl(CTL_RELEASE_PLUGINS, 0);
    SysClose();
  }
  void add(RecordingPlugin &p) { SysControl(CTL_ADD_PLUGIN, reinterpret_cast<intptr_t>(&p)); }
  // Plug-ins outlive the release in TearDown.
  RecordingPlugin &make(const char *name) {
    made_.emplace_back(name, &log);
    return made_.back();
  }
  std::vector<std::string> log;
  std::deque<RecordingPlugin> made_;
};

TEST_F(Plugins, ProbeOffersListedExtensionsAndTheRmfMagicAndRemembers) {
  RecordingPlugin &a = make("a"), &b = make("b");
  a.extensions = "xyz;.abc";
  a.probe_answer = SOURCE_KIND_NOTHING;  // lists it but does not take it
  b.extensions = "ABC";
  add(a);
  add(b);
  const std::string listed = write("clip.Abc", "not an MPEG file at all");
  int32_t length = 0;
  EXPECT_EQ(SysProbe(listed.c_str(), &length), SOURCE_KIND_VIDEO);
  EXPECT_EQ(length, b.probe_length);
  EXPECT_EQ(a.count("probe"), 1);
  EXPECT_EQ(b.count("probe"), 1);
  // The same path again: the remembered answer, nobody asked.
  length = 0;
  EXPECT_EQ(SysProbe(listed.c_str(), &length), SOURCE_KIND_VIDEO);
  EXPECT_EQ(length, b.probe_length);
  EXPECT_EQ(b.count("probe"), 1);
  // The open goes to the plug-in that answered.
  EXPECT_EQ(SysOpen(listed.c_str(), 0), DRAVIK_HANDLE_PLUGIN);
  EXPECT_EQ(b.count("open"), 1);
  EXPECT_EQ(a.count("open"), 0);
  EXPECT_EQ(SysControl(CTL_PLUGIN_ACTIVE, 0), reinterpret_cast<intptr_t>(&b));
  SysClose();
  EXPECT_EQ(b.count("close"), 1);
  EXPECT_EQ(SysControl(CTL_PLUGIN_ACTIVE, 0), 0);

  // ".RMF" at the start is offered whatever the extension.
  const std::string rmf = write("movie.bin", ".RMF and then some bytes");
  RecordingPlugin &c = make("c");
  add(c);
  EXPECT_EQ(SysProbe(rmf.c_str(), nullptr), SOURCE_KIND_VIDEO);
  EXPECT_EQ(b.count("probe"), 2);
}

TEST_F(Plugins, LastResortAnswerAndOpenFallback) {
  RecordingPlugin &a = make("a"), &b = make("b");
  a.open_answer = 0;  // takes the probe but fails to open
  add(a);
  add(b);
  // Nothing the MPEG path plays: the plug-ins are asked whatever the name.
  const std::string path = write("notes.txt", std::string(4096, 'x'));
  int32_t length = 0;
  EXPECT_EQ(SysProbe(path.c_str(), &length), SOURCE_KIND_VIDEO);
  EXPECT_EQ(length, a.probe_length);
  EXPECT_EQ(SysOpen(path.c_str(), 0), DRAVIK_HANDLE_PLUGIN);
  EXPECT_EQ(a.count("open"), 1);
  EXPECT_EQ(b.count("open"), 1);
  EXPECT_EQ(SysControl(CTL_PLUGIN_ACTIVE, 0), reinterpret_cast<intptr_t>(&b));
  // Levels, rates and reads of a plug-in source.
  EXPECT_EQ(SysVideoAvail(nullptr), 10000);
  EXPECT_EQ(SysAudioAvail(nullptr), 0);
  EXPECT_EQ(SysControl(CTL_BYTE_RATE, 0), 1000);
  EXPECT_EQ(SysControl(CTL_RATE_VALID, 0), 1);
  EXPECT_EQ(SysGetPackOverhead(), DRAVIK_PACK_OVERHEAD_AVI);
  EXPECT_EQ(SysControl(CTL_SOURCE_SIZE, 0), b.size);
  Bytes buf(4096);
  EXPECT_EQ(SysReadVideo(buf.data(), 4096), 0);
  EXPECT_EQ(SysReadAudio(buf.data(), 4096), 0);
  EXPECT_EQ(SysSeek(700, 0), 700);
  EXPECT_EQ(SysSeek(0, 1), 700);
  EXPECT_EQ(b.count("position"), 1);
  // Release while open: the source is closed before the plug-ins go.
  SysControl(CTL_RELEASE_PLUGINS, 0);
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "b:close");
  EXPECT_EQ(SysControl(CTL_SOURCE_HANDLE, 0), -1);
  EXPECT_EQ(SysVideoAvail(nullptr), 0);
  SysClose();
  EXPECT_EQ(b.count("close"), 1) << "closed twice";
}

TEST_F(Plugins, NoTakerKeepsTheContentAnswerAndAllFailingOpensLeaveItClosed) {
  RecordingPlugin &a = make("a");
  a.probe_answer = 7;  // no SourceKind
  add(a);
  const std::string path = write("notes.txt", std::string(4096, 'x'));
  EXPECT_EQ(SysProbe(path.c_str(), nullptr), SOURCE_KIND_NOTHING);
  EXPECT_EQ(SysProbe("/no/such/file", nullptr), SOURCE_KIND_CANNOT_OPEN);
  a.probe_answer = SOURCE_KIND_VIDEO;
  a.open_answer = 0;
  EXPECT_EQ(SysProbe(path.c_str(), nullptr), SOURCE_KIND_VIDEO);
  EXPECT_EQ(SysOpen(path.c_str(), 0), -1);
  EXPECT_EQ(SysControl(CTL_SOURCE_HANDLE, 0), -1);
  EXPECT_EQ(SysControl(CTL_PLUGIN_ACTIVE, 0), 0);
  // Releasing forgets the remembered answer: a plug-in added afterwards is
  // asked again.
  int32_t length = 0;
  EXPECT_EQ(SysProbe(path.c_str(), &length), SOURCE_KIND_VIDEO);
  SysControl(CTL_RELEASE_PLUGINS, 0);
  RecordingPlugin &b = make("b");
  b.probe_answer = SOURCE_KIND_SYSTEM;
  add(b);
  EXPECT_EQ(SysProbe(path.c_str(), &length), SOURCE_KIND_SYSTEM);
  EXPECT_EQ(b.count("probe"), 1);
}

// The y4m plug-in, loaded as the tool loads it.
class Y4mPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    clip_ = y4m_clip();
    ASSERT_FALSE(clip_.empty()) << "ffmpeg is needed to make the clip";
    ASSERT_TRUE(lib_.open(RAZAVORI_Y4M_PLUGIN)) << RAZAVORI_Y4M_PLUGIN;
    auto factory = reinterpret_cast<DravikPluginFactory>(lib_.symbol(DRAVIK_PLUGIN_FACTORY));
    ASSERT_NE(factory, nullptr);
    SourcePlugin *p = factory();
    ASSERT_NE(p, nullptr);
    SysControl(CTL_ADD_PLUGIN, reinterpret_cast<intptr_t>(p));
  }
  void TearDown() override { SysControl(CTL_RELEASE_PLUGINS, 0); }
  std::string clip_;
  platform::DynamicLibrary lib_;
};

TEST_F(Y4mPlugin, ProbesByExtensionInAnyCase) {
  const std::string upper = testing_support::scratch_dir() + "/CLIP.Y4M";
  std::filesystem::copy_file(clip_, upper, std::filesystem::copy_options::overwrite_existing);
  for (const std::string &path : {clip_, upper}) {
    int32_t length = 0;
    EXPECT_EQ(SysProbe(path.c_str(), &length), SOURCE_KIND_VIDEO) << path;
    EXPECT_EQ(length, 4000) << path;
  }
}

struct Recorder {
  std::vector<Bytes> pictures;
};

int32_t record(void *user, const KestrumPicture *p) {
  Bytes b;
  for (int32_t y = 0; y < p->height; ++y)
    b.insert(b.end(), p->y + y * p->y_pitch, p->y + y * p->y_pitch + p->width);
  for (const uint8_t *plane : {p->cb, p->cr})
    for (int32_t y = 0; y < p->height / 2; ++y)
      b.insert(b.end(), plane + y * p->c_pitch, plane + y * p->c_pitch + p->width / 2);
  static_cast<Recorder *>(user)->pictures.push_back(std::move(b));
  return 1;
}

TEST_F(Y4mPlugin, VideoEngineShowsFfmpegsPicturesAndSeeksByTime) {
  const Bytes ref = demux_test::read_file(y4m_clip_reference());
  ASSERT_EQ(ref.size(), static_cast<size_t>(kClipPictures) * kClipPictureBytes);
  auto picture = [&](int32_t i) {
    return Bytes(ref.begin() + i * kClipPictureBytes, ref.begin() + (i + 1) * kClipPictureBytes);
  };
  Recorder rec;
  KestrumHostDisplay display{};
  display.user = &rec;
  display.present_planes = record;
  VideoStartup();
  ASSERT_EQ(VideoOpen(&display, clip_.c_str(), nullptr, 0), 1);
  EXPECT_EQ(VideoGetBitRate(), 8000);
  while (VideoStep()) {
  }
  ASSERT_GE(rec.pictures.size(), static_cast<size_t>(kClipPictures));
  // The open shows the first picture; the steps show the rest once each.
  for (int32_t i = 0; i < kClipPictures; ++i) {
    EXPECT_TRUE(rec.pictures[rec.pictures.size() - kClipPictures + i] == picture(i)) << "picture " << i;
  }
  rec.pictures.clear();
  VideoSeek(2000, 0);
  ASSERT_FALSE(rec.pictures.empty());
  EXPECT_TRUE(rec.pictures.back() == picture(50));
  ASSERT_EQ(VideoStep(), 1);
  EXPECT_TRUE(rec.pictures.back() == picture(51));
  VideoClose(1);
  EXPECT_EQ(SysControl(CTL_PLUGIN_ACTIVE, 0), 0);
  VideoShutdown();
}

}  // namespace
}  // namespace hooks_test
