// FFmpeg's libraries come in on first use of the table, not at start-up,
// and the table then serves the real functions.
#include "platform/ffmpeg_dynamic.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

#define RAZAVORI_TEST_SONAME(lib, major) "lib" #lib ".so." AV_STRINGIFY(major)

TEST(FfmpegDynamic, LoadsOnFirstUseAndDecodes) {
  const char *codec_lib = RAZAVORI_TEST_SONAME(avcodec, LIBAVCODEC_VERSION_MAJOR);
  // Nothing in this process has used FFmpeg yet: the library is not mapped.
  EXPECT_EQ(dlopen(codec_lib, RTLD_NOW | RTLD_NOLOAD), nullptr);

  ASSERT_TRUE(platform::ffmpeg_loaded());
  void *mapped = dlopen(codec_lib, RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(mapped, nullptr);
  if (mapped) dlclose(mapped);

  // The calls go through the table to the library itself.
  const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_AC3);
  ASSERT_NE(codec, nullptr);
  AVCodecContext *ctx = avcodec_alloc_context3(codec);
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(avcodec_open2(ctx, codec, nullptr), 0);
  avcodec_free_context(&ctx);
  EXPECT_EQ(ctx, nullptr);
}

}  // namespace
