#include "audio/decode/layer2_tables.h"

namespace lunaret::layer2 {
namespace {

// A run of subbands sharing one allocation row: how many, the allocation
// bits, and the class of allocation values 1.. (2^bits - 1).
struct Run {
  int32_t count;
  int32_t nbal;
  int8_t classes[15];
};

template <int N>
constexpr AllocTable expand(int32_t sblimit, const Run (&runs)[N]) {
  AllocTable t{};
  t.sblimit = sblimit;
  int32_t sb = 0;
  for (int r = 0; r < N; ++r) {
    for (int i = 0; i < runs[r].count && sb < 32; ++i, ++sb) {
      t.nbal[sb] = uint8_t(runs[r].nbal);
      t.classes[sb][0] = -1;
      for (int a = 1; a < (1 << runs[r].nbal); ++a) t.classes[sb][a] = runs[r].classes[a - 1];
    }
  }
  return t;
}

// Tables B.2a and B.2b share their rows; B.2a stops at 27 subbands.
constexpr Run kRunsAB[] = {
    {3, 4, {0, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
    {8, 4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16}},
    {12, 3, {0, 1, 2, 3, 4, 5, 16}},
    {7, 2, {0, 1, 16}},
};
// Tables B.2c and B.2d (low bit rates); B.2c stops at 8 subbands.
constexpr Run kRunsCD[] = {
    {2, 4, {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
    {10, 3, {0, 1, 3, 4, 5, 6, 7}},
};
// ISO/IEC 13818-3 low sampling frequency table.
constexpr Run kRunsLsf[] = {
    {4, 4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
    {7, 3, {0, 1, 3, 4, 5, 6, 7}},
    {19, 2, {0, 1, 3}},
};

}  // namespace

constexpr QuantClass kQuantClasses[17] = {
    {3, 5, true},       {5, 7, true},       {7, 3, false},     {9, 10, true},     {15, 4, false},
    {31, 5, false},     {63, 6, false},     {127, 7, false},   {255, 8, false},   {511, 9, false},
    {1023, 10, false},  {2047, 11, false},  {4095, 12, false}, {8191, 13, false}, {16383, 14, false},
    {32767, 15, false}, {65535, 16, false},
};

constexpr AllocTable kAllocTables[5] = {
    expand(27, kRunsAB), expand(30, kRunsAB), expand(8, kRunsCD), expand(12, kRunsCD), expand(30, kRunsLsf),
};

}  // namespace lunaret::layer2
