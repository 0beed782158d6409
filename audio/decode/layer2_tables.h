// Layer II bit allocation tables (ISO/IEC 11172-3 tables B.2a to B.2d and
// the table of ISO/IEC 13818-3 for the low sampling frequencies) and the
// quantisation classes they point at.
#pragma once

#include <cstdint>

namespace lunaret::layer2 {

/// One quantisation class: number of levels, and the bits a sample (or a
/// group of three samples, when grouped) takes.
struct QuantClass {
  int32_t levels;
  int32_t bits;
  bool grouped;
};
/// Classes 0..16: 3, 5, 7, 9, 15, 31, ... 65535 levels.
extern const QuantClass kQuantClasses[17];

struct AllocTable {
  int32_t sblimit;
  uint8_t nbal[32];        ///< allocation bits per subband
  int8_t classes[32][16];  ///< class index for allocation 1..15 (index 0 unused)
};
/// Tables a, b, c, d, low sampling frequency.
extern const AllocTable kAllocTables[5];

}  // namespace lunaret::layer2
