// One mask caps every SIMD table: a fresh process started with
// RAZAVORI_CPU_MASK builds the engine's colour converter and a decoder, and
// both hold exactly the routines of the level the mask leaves (plain C at
// mask 0; never an AVX2 routine when only SSE2/SSSE3 are allowed).
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "video/cpu/cpu_features.h"
#include "video/decode/decoder_state.h"
#include "video/decode/idct.h"
#include "video/output/colour_dsp.h"
#include "video/output/frame_copy.h"
#if defined(__x86_64__) || defined(__i386__)
#include "video/decode/x86/idct_x86.h"
#include "video/output/x86/colour_x86.h"
#endif

extern char **environ;

namespace {

using namespace kestrum;

constexpr const char *kChildMarker = "RAZAVORI_CPU_LEVEL_CHILD";

// Runs this binary again with only the child test and the mask in its
// environment; returns its exit status.
int run_child(uint32_t mask) {
  std::vector<std::string> env_text;
  for (char **e = environ; *e; ++e) {
    const std::string entry = *e;
    if (entry.rfind("RAZAVORI_CPU_MASK=", 0) == 0 || entry.rfind(kChildMarker, 0) == 0) continue;
    env_text.push_back(entry);
  }
  env_text.push_back("RAZAVORI_CPU_MASK=" + std::to_string(mask));
  env_text.push_back(std::string(kChildMarker) + "=1");
  std::vector<char *> envp;
  for (auto &s : env_text) envp.push_back(s.data());
  envp.push_back(nullptr);

  std::string exe = "/proc/self/exe";
  std::string filter = "--gtest_filter=CpuLevelChild.*";
  std::string disabled = "--gtest_also_run_disabled_tests";
  char *argv[] = {exe.data(), filter.data(), disabled.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CpuLevel, EveryLevelTheProcessorHasCapsEveryTable) {
  set_cpu_flags_mask(kCpuAll);
  const uint32_t have = detect_cpu_flags();
  // Mask 0, then each level added in turn as far as the processor goes.
  std::vector<uint32_t> masks = {0};
  uint32_t mask = 0;
  for (uint32_t level : {kCpuSse2, kCpuSsse3, kCpuSse41, kCpuAvx2}) {
    if (!(have & level)) break;
    mask |= level;
    masks.push_back(mask);
  }
  for (uint32_t m : masks) EXPECT_EQ(run_child(m), 0) << "RAZAVORI_CPU_MASK=" << m;
}

// Run only in the process started above (disabled in a normal run).
TEST(CpuLevelChild, DISABLED_TablesFollowTheMask) {
  ASSERT_NE(std::getenv(kChildMarker), nullptr);
  const uint32_t mask = static_cast<uint32_t>(std::strtoul(std::getenv("RAZAVORI_CPU_MASK"), nullptr, 0));
  const uint32_t allowed = detect_cpu_flags();
  ASSERT_EQ(allowed & ~mask, 0u) << "the environment mask did not cap the reported flags";

  ColourDsp plain{};
  init_colour_dsp(plain, 0);
  const ColourDsp &colour = colour_output().dsp();
  DecoderState decoder;
  decoder.apply_settings();

  ColourPairFn pair32 = plain.pair[kRgb32];
  ColourPairFn pair15 = plain.pair[kRgb15];
  ChromaBlendFn blend = plain.blend;
  IdctPutFn put = idct_accurate_put_c;
  IdctAddFn add = idct_accurate_add_c;
#if defined(__x86_64__) || defined(__i386__)
  if (allowed & kCpuSse2) {
    pair32 = colour_pair32_sse2;
    pair15 = colour_pair15_sse2;
    blend = chroma_blend_sse2;
    put = idct_accurate_put_sse2;
    add = idct_accurate_add_sse2;
  }
  if (allowed & kCpuAvx2) {
    pair32 = colour_pair32_avx2;
    pair15 = colour_pair15_avx2;
    put = idct_accurate_put_avx2;
    add = idct_accurate_add_avx2;
  }
#endif
  EXPECT_EQ(colour.pair[kRgb32], pair32);
  EXPECT_EQ(colour.pair[kRgb15], pair15);
  EXPECT_EQ(colour.blend, blend);
  EXPECT_EQ(decoder.cpu_flags, allowed);
  EXPECT_EQ(decoder.idct.put, put);
  EXPECT_EQ(decoder.idct.add, add);
  if (mask == 0) {
    McDsp plain_mc;
    init_mc_dsp_c(plain_mc, decoder.settings.mc_variant);
    for (int w = 0; w < 2; ++w) {
      for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(decoder.mc.put[w][c], plain_mc.put[w][c]);
        EXPECT_EQ(decoder.mc.avg[w][c], plain_mc.avg[w][c]);
      }
    }
  }
}

}  // namespace
