// What the extraction tests share: the generated streams (a missing one
// fails the test), reading whole files, and taking framed records apart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace extract_test {

using Bytes = std::vector<uint8_t>;

/// Path of a generated stream or reference; fails the calling test (and
/// returns "") when it is missing.
std::string media(const std::string &name);
Bytes read_all(const std::string &path);
void write_all(const std::string &path, const Bytes &b);
/// A fresh empty folder under the test binary's scratch folder.
std::string fresh_dir(const std::string &name);
/// Names of the files in dir, sorted.
std::vector<std::string> files_in(const std::string &dir);

struct Record {
  uint32_t scr = 0;  // subpicture records only
  Bytes payload;
};
/// Splits a file of records tagged tag ("LPCM", "SUBP", ...); header is 8
/// or 12 bytes. Fails the test on a damaged record.
std::vector<Record> records(const Bytes &file, const char *tag, int header);
/// The payloads of the records, each less skip leading bytes, joined.
Bytes joined_payloads(const std::vector<Record> &r, size_t skip);

}  // namespace extract_test
