// Multichannel placement: a decoded block is brought to the six-value
// intermediate frame (L, C, R, Ls, Rs, LFE), missing channels are made up
// from the ones present, and the frame is placed into the output channels
// of a speaker preset through its layout record (output channel per role).
#pragma once

#include <array>
#include <cstdint>

namespace lunaret {

/// Speaker roles of a layout record, in record order.
enum SpeakerRole : int {
  kRoleFrontLeft = 0,
  kRoleFrontRight = 1,
  kRoleCentre = 2,
  kRoleLfe = 3,
  kRoleBack = 4,  // back centre, or back left when there is a back right
  kRoleBackRight = 5,
  kRoleBackCentre = 6,  // only when back left and right exist as well
  kRoleSideLeft = 7,
  kRoleSideRight = 8,
  kRoleCount = 9,
};

/// Source configuration codes: AC-3 acmod 0..7 give 0, 3..9; plain PCM
/// sources give these.
constexpr int32_t kCodeMono = 17;
constexpr int32_t kCodeStereo = 18;
/// The code of an AC-3 acmod.
int32_t ac3_source_code(int32_t acmod);

constexpr int kPresets = 17;

/// One preset's output: channels, the WAVE speaker mask of those channels
/// (bit order = channel order; 0 for the plain mono and stereo layouts that
/// carry no positions) and the frames per fill it asks for.
struct PresetLayout {
  int8_t channels;  // 0: the table has no such preset
  uint16_t mask;
};
const PresetLayout &preset_layout(bool alternate, int preset);

/// The layout record a preset writes (AudioCommand 48): each role's output
/// channel, 0 for the roles the preset does not use.
std::array<int32_t, kRoleCount> preset_roles(bool alternate, int preset);

/// What the placement of one block needs to know.
struct PlacementSetup {
  int preset = 0;
  bool alternate = false;
  const int32_t *roles = nullptr;  // kRoleCount output channels
  int32_t out_channels = 2;
  int32_t code = kCodeStereo;
  bool source_lfe = false;
};

/// The synthesis rings, kept across blocks.
class Placement {
 public:
  void clear();
  /// Places `frames` frames of `in_channels` values (1, 2 or 6) from src
  /// into dst (frames x out_channels values); src and dst must not overlap.
  /// -> values written.
  int32_t place(const PlacementSetup &s, const int16_t *src, int32_t frames, int32_t in_channels,
                int16_t *dst);

 private:
  struct Frame {
    int32_t l, c, r, ls, rs, lfe;
  };
  void complete(int32_t code, Frame &f);
  void synthesise_surround(Frame &f);
  int32_t synthesise_lfe(const Frame &f);

  std::array<int32_t, 128> lfe_ring_{};
  int32_t lfe_sum_ = 0;
  int lfe_pos_ = 0;
  std::array<int32_t, 4> left_{}, right_{};
  int32_t left_sum_ = 0, right_sum_ = 0;
  int sur_pos_ = 0;
};

}  // namespace lunaret
