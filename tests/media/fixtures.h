// Small byte fixtures for the media tests, written into the scratch folder.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/test_media.h"

namespace media_test {

using Bytes = std::vector<uint8_t>;

inline std::string write_file(const std::string &name, const Bytes &bytes) {
  std::string path = testing_support::scratch_dir() + "/" + name;
  FILE *f = std::fopen(path.c_str(), "wb");
  if (f) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

inline void append(Bytes &b, std::initializer_list<uint8_t> v) { b.insert(b.end(), v); }
inline void append(Bytes &b, const Bytes &v) { b.insert(b.end(), v.begin(), v.end()); }
inline void fill(Bytes &b, size_t n, uint8_t v) { b.insert(b.end(), n, v); }
inline void put_le32(Bytes &b, uint32_t v) {
  append(b, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}

inline uint8_t to_bcd(int v) { return uint8_t((v / 10) << 4 | (v % 10)); }

/// The BCD address 0x00MMSSFF of absolute sector n (with the 150-sector
/// lead-in).
inline uint32_t msf_of_sector(int n) {
  n += 150;
  return uint32_t(to_bcd(n / 4500)) << 16 | uint32_t(to_bcd(n / 75 % 60)) << 8 | to_bcd(n % 75);
}

/// One raw 2352-byte mode-2 sector of absolute number n whose payload bytes
/// are all fill.
inline Bytes raw_sector(int n, uint8_t fill_byte) {
  Bytes s(2352, fill_byte);
  static const uint8_t sync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
  std::copy(sync, sync + 12, s.begin());
  uint32_t msf = msf_of_sector(n);
  s[12] = uint8_t(msf >> 16);
  s[13] = uint8_t(msf >> 8);
  s[14] = uint8_t(msf);
  s[15] = 2;
  const uint8_t sub[4] = {1, 0, 0x62, 0x0F};
  std::copy(sub, sub + 4, s.begin() + 16);
  std::copy(sub, sub + 4, s.begin() + 20);
  return s;
}

/// A RIFF CDXA file of sectors raw sectors starting at absolute sector
/// first; sector i carries payload byte (i & 0xFF).
inline Bytes cdxa_file(int first, int sectors) {
  Bytes b;
  append(b, {'R', 'I', 'F', 'F'});
  put_le32(b, uint32_t(36 + sectors * 2352));
  append(b, {'C', 'D', 'X', 'A', 'f', 'm', 't', ' '});
  put_le32(b, 16);
  fill(b, 16, 0);
  append(b, {'d', 'a', 't', 'a'});
  put_le32(b, uint32_t(sectors * 2352));
  for (int i = 0; i < sectors; ++i) append(b, raw_sector(first + i, uint8_t(i)));
  return b;
}

/// An MPEG-1 Layer III 128 kbit/s 44.1 kHz frame header.
inline Bytes mp3_header() { return {0xFF, 0xFB, 0x90, 0x64}; }

}  // namespace media_test
