// Hand-made MPEG system streams for the demultiplexer's edge cases: pack
// headers, system headers, PES packets with any optional header field,
// private stream 1 sub-streams, and transport-stream packets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace demux_test {

using Bytes = std::vector<uint8_t>;

/// Optional PES header fields of an MPEG-2 packet.
struct PesFields {
  bool pts = false;
  bool dts = false;  // with pts
  bool escr = false;
  bool es_rate = false;
  bool trick_mode = false;
  bool copy_info = false;
  bool crc = false;
  bool ext_private = false;
  bool ext_pack_header = false;
  bool ext_counter = false;
  bool ext_pstd = false;
  int ext2_length = -1;  // -1 none
  int stuffing = 0;      // extra 0xFF bytes counted in the header length
};

class StreamBuilder {
 public:
  /// A pack header; scr in 90 kHz ticks, mux_rate in 50-byte units.
  void pack(bool mpeg2, uint64_t scr = 0, uint32_t mux_rate = 2000, int stuffing = 0);
  /// A system header naming the given stream ids.
  void system_header(const std::vector<int> &ids);
  /// An MPEG-2 PES packet of stream id with the payload.
  void mpeg2_packet(int id, const Bytes &payload, const PesFields &f = {});
  /// An MPEG-1 packet; stuffing 0xFF bytes, STD buffer, PTS/DTS as asked.
  void mpeg1_packet(int id, const Bytes &payload, int stuffing = 0, bool std_buffer = false, int pts_dts = 0);
  /// A private stream 1 packet (MPEG-2) with sub-id and payload after it.
  void private1(int sub_id, const Bytes &payload);
  /// A packet with no PES header (padding, private stream 2, ...).
  void raw_packet(int id, const Bytes &body);
  void program_end();
  void bytes(const Bytes &b) { data_.insert(data_.end(), b.begin(), b.end()); }
  /// Pads with zeros to a multiple of n.
  void align(size_t n);

  const Bytes &data() const { return data_; }
  size_t size() const { return data_.size(); }

 private:
  void put8(int v) { data_.push_back(static_cast<uint8_t>(v)); }
  void put16(int v) {
    put8(v >> 8);
    put8(v);
  }
  void start(int id) {
    put8(0);
    put8(0);
    put8(1);
    put8(id);
  }
  Bytes data_;
};

/// A payload of n bytes derived from seed; never holds 00 00 01 nor FF Fx.
Bytes pattern(size_t n, uint32_t seed);

/// Writes bytes to path. -> path.
std::string write_file(const std::string &path, const Bytes &b);
Bytes read_file(const std::string &path);

/// Transport-stream packets of one PID carrying data (a PES packet or a
/// section); the first gets the unit start flag.
void ts_packets(Bytes &out, int pid, const Bytes &data, bool section = false);
/// A program association table naming one program map PID.
Bytes ts_pat(int pmt_pid);
/// A program map with the given (stream type, PID) entries.
Bytes ts_pmt(const std::vector<std::pair<int, int>> &streams);

}  // namespace demux_test
