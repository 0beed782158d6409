// Monochrome output: one packed pixel per luma value, tinted by a fixed
// chroma pair.
#pragma once

#include <array>
#include <cstdint>

namespace kestrum {

struct MonoTables {
  std::array<uint32_t, 256> rgb32{};  ///< 0x00RRGGBB, for 24- and 32-bit output
  std::array<uint16_t, 256> rgb15{};  ///< 5-5-5
  std::array<uint16_t, 256> rgb16{};  ///< 5-6-5
};

/// Builds the tables for a tint (Cb, Cr; clamped to 0..255) and a brightness
/// (signed byte). Entry v holds luma clamp(v + brightness) with the tint,
/// converted in floating point as R = Y + 1.402 (Cr - 128),
/// G = Y - 0.3441 (Cb - 128) - 0.7141 (Cr - 128), B = Y + 1.772 (Cb - 128),
/// each clamped to 0..255 and truncated.
void build_mono_tables(MonoTables &tables, int tint_cb, int tint_cr, int brightness);

}  // namespace kestrum
