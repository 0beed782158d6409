// Shared by the Layer III stages: granule side information, scalefactors,
// and the stereo and hybrid filter bank steps.
#pragma once

#include <cstdint>

#include "audio/decode/mpeg_audio_decoder.h"

namespace lunaret {

struct Granule {
  int32_t part2_3_length;
  int32_t big_values;
  int32_t global_gain;
  int32_t scalefac_compress;
  int32_t window_switching;
  int32_t block_type;
  int32_t mixed;
  int32_t table_select[3];
  int32_t subblock_gain[3];
  int32_t region0_count;
  int32_t region1_count;
  int32_t preflag;
  int32_t scalefac_scale;
  int32_t count1_table;
};

// Scalefactors of one granule and channel. is_max holds, per band, the
// value that marks an intensity position as illegal.
struct Scalefactors {
  uint8_t l[22];
  uint8_t s[13][3];
  uint8_t is_max_l[22];
  uint8_t is_max_s[13];
  int32_t intensity_scale;  // MPEG-2 intensity stereo
};

/// Mid/side and intensity stereo of one granule, in place, as the
/// header's mode extension says. `right` describes the right channel's
/// granule and scalefactors (intensity positions). lines[] (the decoded
/// extent of each channel) grow to cover what the step wrote.
void layer3_stereo(const HeaderRecord &h, const Granule &right, const Scalefactors &sf, float *l, float *r,
                   int32_t lines[2]);

/// The 36-point IMDCT of the long blocks, unwindowed:
/// out[i] = sum_k in[k] cos(pi/72 (2i + 19)(2k + 1)), i = 0..35.
void imdct36(const float in[18], float out[36]);

/// The long-block IMDCT with its window and overlap-add, in a table so
/// that a test can set the plain C form beside the vector one:
/// out[i] = x[i] * window[i] + overlap[i], then overlap[i] = x[i + 18] *
/// window[i + 18], x = imdct36(in).
struct HybridDsp {
  void (*imdct_long)(const float in[18], const float *window, float overlap[18], float out[18]);
  /// The same for eight subbands side by side: in holds their 18 values
  /// each (subband-major); overlap and time are slot-major with a stride of
  /// 32, pointing at the first subband's column, which is even, and the
  /// odd subbands' odd samples come out inverted.
  void (*imdct_long8)(const float *in, const float *window, float *overlap, float *time);
  /// Alias-reduction butterflies across the subband boundaries 1..n.
  void (*alias_reduce)(float xr[576], int32_t boundaries);
};
/// C first, then the best level `cpu_flags` (platform::CpuFlag bits) allows.
void init_hybrid_dsp(HybridDsp &dsp, uint32_t cpu_flags);

/// Short-block reordering, alias reduction, IMDCT with overlap-add and
/// frequency inversion of one channel's granule. `xr` is modified; `time`
/// receives 18 slots of 32 subband samples, slot-major [t * 32 + sb], and
/// `overlap` is kept in the same order.
void layer3_hybrid(const Granule &gr, const HeaderRecord &h, float xr[576], int32_t lines, float overlap[576],
                   float time[576]);

}  // namespace lunaret
