#include "tests/media/demux/stream_builder.h"

#include <fstream>
#include <iterator>

namespace demux_test {

void StreamBuilder::pack(bool mpeg2, uint64_t scr, uint32_t mux_rate, int stuffing) {
  start(0xBA);
  const uint64_t s32_30 = (scr >> 30) & 7, s29_15 = (scr >> 15) & 0x7FFF, s14_0 = scr & 0x7FFF;
  if (mpeg2) {
    // '01', SCR with markers, SCR extension 0 and marker.
    uint64_t v =
        1ull << 46 | s32_30 << 43 | 1ull << 42 | s29_15 << 27 | 1ull << 26 | s14_0 << 11 | 1ull << 10 | 1;
    for (int i = 5; i >= 0; --i) put8(static_cast<int>(v >> (8 * i)));
    const uint32_t m = mux_rate << 2 | 3;
    put8(m >> 16);
    put8(m >> 8);
    put8(m);
    put8(0xF8 | (stuffing & 7));
    for (int i = 0; i < (stuffing & 7); ++i) put8(0xFF);
  } else {
    uint64_t v = 2ull << 36 | s32_30 << 33 | 1ull << 32 | s29_15 << 17 | 1ull << 16 | s14_0 << 1 | 1;
    for (int i = 4; i >= 0; --i) put8(static_cast<int>(v >> (8 * i)));
    const uint32_t m = 1u << 23 | mux_rate << 1 | 1;
    put8(m >> 16);
    put8(m >> 8);
    put8(m);
  }
}

void StreamBuilder::system_header(const std::vector<int> &ids) {
  start(0xBB);
  put16(6 + 3 * static_cast<int>(ids.size()));
  put8(0x80);
  put8(0x00);
  put8(0x01);
  put8(0x04);
  put8(0xE1);
  put8(0xFF);
  for (int id : ids) {
    put8(id);
    put8(0xE0);
    put8(0x20);
  }
}

void StreamBuilder::mpeg2_packet(int id, const Bytes &payload, const PesFields &f) {
  Bytes h;
  if (f.pts) {
    const int code = f.dts ? 3 : 2;
    h.insert(h.end(), {static_cast<uint8_t>(code << 4 | 1), 0, 1, 0, 1});
    if (f.dts) h.insert(h.end(), {0x11, 0, 1, 0, 1});
  }
  if (f.escr) h.insert(h.end(), {0x04, 0, 4, 0, 4, 1});
  if (f.es_rate) h.insert(h.end(), {0x80, 0, 1});
  if (f.trick_mode) h.push_back(0x00);
  if (f.copy_info) h.push_back(0x80);
  if (f.crc) h.insert(h.end(), {0x12, 0x34});
  const bool ext = f.ext_private || f.ext_pack_header || f.ext_counter || f.ext_pstd || f.ext2_length >= 0;
  if (ext) {
    h.push_back(static_cast<uint8_t>((f.ext_private ? 0x80 : 0) | (f.ext_pack_header ? 0x40 : 0) |
                                     (f.ext_counter ? 0x20 : 0) | (f.ext_pstd ? 0x10 : 0) | 0x0E |
                                     (f.ext2_length >= 0 ? 1 : 0)));
    if (f.ext_private)
      for (int i = 0; i < 16; ++i) h.push_back(static_cast<uint8_t>(0xA0 + i));
    if (f.ext_pack_header) {
      StreamBuilder inner;
      inner.pack(true, 12345, 3000);
      h.push_back(static_cast<uint8_t>(inner.size()));
      h.insert(h.end(), inner.data().begin(), inner.data().end());
    }
    if (f.ext_counter) h.insert(h.end(), {0x81, 0x01});
    if (f.ext_pstd) h.insert(h.end(), {0x60, 0x10});
    if (f.ext2_length >= 0) {
      h.push_back(static_cast<uint8_t>(0x80 | f.ext2_length));
      for (int i = 0; i < f.ext2_length; ++i) h.push_back(0x55);
    }
  }
  for (int i = 0; i < f.stuffing; ++i) h.push_back(0xFF);
  const int flags = (f.pts ? (f.dts ? 0xC0 : 0x80) : 0) | (f.escr ? 0x20 : 0) | (f.es_rate ? 0x10 : 0) |
                    (f.trick_mode ? 0x08 : 0) | (f.copy_info ? 0x04 : 0) | (f.crc ? 0x02 : 0) |
                    (ext ? 0x01 : 0);
  start(id);
  put16(static_cast<int>(3 + h.size() + payload.size()));
  put8(0x81);
  put8(flags);
  put8(static_cast<int>(h.size()));
  bytes(h);
  bytes(payload);
}

void StreamBuilder::mpeg1_packet(int id, const Bytes &payload, int stuffing, bool std_buffer, int pts_dts) {
  Bytes h(static_cast<size_t>(stuffing), 0xFF);
  if (std_buffer) h.insert(h.end(), {0x60, 0x20});
  if (pts_dts == 2)
    h.insert(h.end(), {0x21, 0, 1, 0, 1});
  else if (pts_dts == 3)
    h.insert(h.end(), {0x31, 0, 1, 0, 1, 0x11, 0, 1, 0, 1});
  else
    h.push_back(0x0F);
  start(id);
  put16(static_cast<int>(h.size() + payload.size()));
  bytes(h);
  bytes(payload);
}

void StreamBuilder::private1(int sub_id, const Bytes &payload) {
  Bytes p;
  p.push_back(static_cast<uint8_t>(sub_id));
  p.insert(p.end(), payload.begin(), payload.end());
  mpeg2_packet(0xBD, p);
}

void StreamBuilder::raw_packet(int id, const Bytes &body) {
  start(id);
  put16(static_cast<int>(body.size()));
  bytes(body);
}

void StreamBuilder::program_end() { start(0xB9); }

void StreamBuilder::align(size_t n) {
  while (data_.size() % n) data_.push_back(0);
}

Bytes pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  uint32_t x = seed * 2654435761u + 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345;
    b[i] = static_cast<uint8_t>(0x20 + ((x >> 16) % 0xD0));  // 0x20..0xEF
  }
  return b;
}

std::string write_file(const std::string &path, const Bytes &b) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
  return path;
}

Bytes read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void ts_packets(Bytes &out, int pid, const Bytes &data, bool section) {
  size_t at = 0;
  bool first = true;
  int cc = 0;
  while (at < data.size() || first) {
    uint8_t p[188];
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>((first ? 0x40 : 0) | (pid >> 8));
    p[2] = static_cast<uint8_t>(pid);
    size_t room = 184;
    size_t head = 4;
    if (first && section) {
      p[4] = 0;  // pointer field
      head = 5;
      room = 183;
    }
    const size_t take = data.size() - at < room ? data.size() - at : room;
    if (take < room) {
      // Short payload: an adaptation field of stuffing fills the packet.
      p[3] = static_cast<uint8_t>(0x30 | (cc & 15));
      const size_t af = room - take;  // bytes taken by the adaptation field
      const size_t base = 4;
      p[base] = static_cast<uint8_t>(af - 1);
      if (af > 1) {
        p[base + 1] = 0;
        for (size_t i = 2; i < af; ++i) p[base + i] = 0xFF;
      }
      size_t q = base + af;
      if (first && section) p[q++] = 0;
      for (size_t i = 0; i < take; ++i) p[q + i] = data[at + i];
    } else {
      p[3] = static_cast<uint8_t>(0x10 | (cc & 15));
      for (size_t i = 0; i < take; ++i) p[head + i] = data[at + i];
    }
    out.insert(out.end(), p, p + 188);
    at += take;
    first = false;
    ++cc;
  }
}

Bytes ts_pat(int pmt_pid) {
  return {0x00,
          0xB0,
          13,
          0x00,
          0x01,
          0xC1,
          0x00,
          0x00,
          0x00,
          0x01,
          static_cast<uint8_t>(0xE0 | (pmt_pid >> 8)),
          static_cast<uint8_t>(pmt_pid),
          0,
          0,
          0,
          0};
}

Bytes ts_pmt(const std::vector<std::pair<int, int>> &streams) {
  Bytes b = {0x02, 0xB0, 0, 0x00, 0x01, 0xC1, 0x00, 0x00, 0xE1, 0x00, 0xF0, 0x00};
  for (auto [type, pid] : streams) {
    b.insert(b.end(), {static_cast<uint8_t>(type), static_cast<uint8_t>(0xE0 | (pid >> 8)),
                       static_cast<uint8_t>(pid), 0xF0, 0x00});
  }
  b.insert(b.end(), {0, 0, 0, 0});  // CRC (not checked)
  b[2] = static_cast<uint8_t>(b.size() - 3);
  return b;
}

}  // namespace demux_test
