#include "tests/media/extract/extract_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/test_media.h"

namespace extract_test {

namespace fs = std::filesystem;

std::string media(const std::string &name) {
  const std::string path = testing_support::media_path(name);
  if (!fs::exists(path)) {
    ADD_FAILURE() << "missing test stream " << path << " (scripts/make_test_media makes it)";
    return "";
  }
  return path;
}

Bytes read_all(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void write_all(const std::string &path, const Bytes &b) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::string fresh_dir(const std::string &name) {
  const fs::path dir = fs::path(testing_support::scratch_dir()) / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

std::vector<std::string> files_in(const std::string &dir) {
  std::vector<std::string> names;
  for (const auto &e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

// The outputs are big (whole streams, copies of sources): a run that passed
// leaves nothing behind; a failed one keeps them to look at.
class RemoveScratchWhenPassed : public ::testing::Environment {
 public:
  void TearDown() override {
    if (!::testing::UnitTest::GetInstance()->Passed()) return;
    std::error_code ec;
    fs::remove_all(testing_support::scratch_dir(), ec);
  }
};

const auto *const g_cleanup = ::testing::AddGlobalTestEnvironment(new RemoveScratchWhenPassed);

}  // namespace

static uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

std::vector<Record> records(const Bytes &file, const char *tag, int header) {
  std::vector<Record> out;
  size_t i = 0;
  while (i < file.size()) {
    if (i + header > file.size() || std::memcmp(file.data() + i, tag, 4) != 0) {
      ADD_FAILURE() << "damaged " << tag << " record at " << i;
      break;
    }
    const uint32_t n = le32(file.data() + i + 4);
    if (i + header + n > file.size()) {
      ADD_FAILURE() << tag << " record at " << i << " runs past the end";
      break;
    }
    Record r;
    if (header == 12) r.scr = le32(file.data() + i + 8);
    r.payload.assign(file.begin() + static_cast<long>(i) + header,
                     file.begin() + static_cast<long>(i + header + n));
    out.push_back(std::move(r));
    i += header + n;
  }
  return out;
}

Bytes joined_payloads(const std::vector<Record> &r, size_t skip) {
  Bytes out;
  for (const Record &x : r) {
    if (x.payload.size() > skip)
      out.insert(out.end(), x.payload.begin() + static_cast<long>(skip), x.payload.end());
  }
  return out;
}

}  // namespace extract_test
