// The synthesis window D[i] of ISO/IEC 11172-3 (Table 3-B.3) and the
// constant math the synthesis tables are built with.
#pragma once

#include <cstdint>

namespace lunaret::synthesis_tables {

inline constexpr double kPi = 3.14159265358979323846;

/// cos(x) for compile-time tables (double precision).
constexpr double const_cos(double x) {
  // Reduce to [-pi, pi], then a Taylor series that converges well there.
  while (x > kPi) x -= 2 * kPi;
  while (x < -kPi) x += 2 * kPi;
  double term = 1, sum = 1, x2 = x * x;
  for (int n = 1; n < 30; ++n) {
    term *= -x2 / double((2 * n - 1) * (2 * n));
    sum += term;
  }
  return sum;
}
constexpr double const_sin(double x) { return const_cos(x - kPi / 2); }

/// The first 257 window values times 65536: the standard prints D[i] to
/// nine decimals, and every value is an exact multiple of 1/65536. The
/// rest follows from the window's symmetry (see window_value()).
inline constexpr int32_t kHalfWindow[257] = {
    0,      -1,     -1,     -1,     -1,     -1,     -1,     -2,     -2,     -2,     -2,     -3,     -3,
    -4,     -4,     -5,     -5,     -6,     -7,     -7,     -8,     -9,     -10,    -11,    -13,    -14,
    -16,    -17,    -19,    -21,    -24,    -26,    -29,    -31,    -35,    -38,    -41,    -45,    -49,
    -53,    -58,    -63,    -68,    -73,    -79,    -85,    -91,    -97,    -104,   -111,   -117,   -125,
    -132,   -139,   -147,   -154,   -161,   -169,   -176,   -183,   -190,   -196,   -202,   -208,   213,
    218,    222,    225,    227,    228,    228,    227,    224,    221,    215,    208,    200,    189,
    177,    163,    146,    127,    106,    83,     57,     29,     -2,     -36,    -72,    -111,   -153,
    -197,   -244,   -294,   -347,   -401,   -459,   -519,   -581,   -645,   -711,   -779,   -848,   -919,
    -991,   -1064,  -1137,  -1210,  -1283,  -1356,  -1428,  -1498,  -1567,  -1634,  -1698,  -1759,  -1817,
    -1870,  -1919,  -1962,  -2001,  -2032,  -2057,  -2075,  -2085,  -2087,  -2080,  -2063,  2037,   2000,
    1952,   1893,   1822,   1739,   1644,   1535,   1414,   1280,   1131,   970,    794,    605,    402,
    185,    -45,    -288,   -545,   -814,   -1095,  -1388,  -1692,  -2006,  -2330,  -2663,  -3004,  -3351,
    -3705,  -4063,  -4425,  -4788,  -5153,  -5517,  -5879,  -6237,  -6589,  -6935,  -7271,  -7597,  -7910,
    -8209,  -8491,  -8755,  -8998,  -9219,  -9416,  -9585,  -9727,  -9838,  -9916,  -9959,  -9966,  -9935,
    -9863,  -9750,  -9592,  -9389,  -9139,  -8840,  -8492,  -8092,  -7640,  -7134,  6574,   5959,   5288,
    4561,   3776,   2935,   2037,   1082,   70,     -998,   -2122,  -3300,  -4533,  -5818,  -7154,  -8540,
    -9975,  -11455, -12980, -14548, -16155, -17799, -19478, -21189, -22929, -24694, -26482, -28289, -30112,
    -31947, -33791, -35640, -37489, -39336, -41176, -43006, -44821, -46617, -48390, -50137, -51853, -53534,
    -55178, -56778, -58333, -59838, -61289, -62684, -64019, -65290, -66494, -67629, -68692, -69679, -70590,
    -71420, -72169, -72835, -73415, -73908, -74313, -74630, -74856, -74992, 75038,
};

/// D[i] * 65536 for i = 0..511: D[512 - i] = -D[i], except at multiples of
/// 64 where the sign pattern of the window repeats and D[512 - i] = D[i].
constexpr int32_t window_value(int32_t i) {
  if (i <= 256) return kHalfWindow[i];
  int32_t j = 512 - i;
  return (j % 64 == 0) ? kHalfWindow[j] : -kHalfWindow[j];
}

}  // namespace lunaret::synthesis_tables
