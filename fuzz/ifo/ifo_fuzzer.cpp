// An information file from the fuzzer, read as a title-set file (its
// chains' chapters and stream ids too) and as the disc's file.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "components/navlore/ifo_parse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);  // exactly the input
  navlore::SetInfo info;
  if (navlore::parse_title_set(bytes.data(), bytes.size(), info)) {
    for (const navlore::Chain &chain : info.chains) {
      (void)navlore::chain_chapters(chain);
      for (int i = 0; i < 8; ++i) (void)navlore::audio_stream_id(info, chain, i);
      for (int i = 0; i < 32; ++i) (void)navlore::spu_stream_id(info, chain, i);
    }
  }
  std::vector<navlore::DiscTitle> titles;
  navlore::parse_disc(bytes.data(), bytes.size(), titles);
  return 0;
}
