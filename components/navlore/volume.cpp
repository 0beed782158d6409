#include "components/navlore/volume.h"

#include <dvdread/dvd_reader.h>
#include <sys/stat.h>

#include <cstdarg>

#include "components/navlore/dvdread_dynamic.h"
#include "platform/drive.h"

namespace navlore {

namespace {

// libdvdread reports to stderr unless given a logger.
void quiet(void *, dvd_logger_level_t, const char *, va_list) {}
const dvd_logger_cb kQuiet{quiet};

// Information files are small; a larger one is damaged.
constexpr ssize_t kMaxInfoBlocks = 8192;

std::string resolve(const std::string &path) {
  const char letter = platform::drive_letter(path.c_str());
  return letter ? platform::drive_device(letter) : path;
}

}  // namespace

Volume::Volume(const std::string &path) {
  const std::string where = resolve(path);
  struct stat st {};
  // libdvdread prints for a path that is not there, whatever the logger.
  if (where.empty() || stat(where.c_str(), &st) != 0 || !dvdread_loaded()) return;
  reader_ = DVDOpen2(nullptr, &kQuiet, where.c_str());
}

Volume::~Volume() {
  if (reader_) DVDClose(reader_);
}

bool Volume::read_file(int32_t set, bool backup, std::vector<uint8_t> &out) {
  out.clear();
  if (!reader_) return false;
  dvd_file_t *file = DVDOpenFile(reader_, set, backup ? DVD_READ_INFO_BACKUP_FILE : DVD_READ_INFO_FILE);
  if (!file) return false;
  const ssize_t blocks = DVDFileSize(file);
  bool ok = false;
  if (blocks > 0 && blocks <= kMaxInfoBlocks) {
    out.resize(static_cast<size_t>(blocks) * DVD_VIDEO_LB_LEN);
    const ssize_t got = DVDReadBytes(file, out.data(), out.size());
    if (got > 0) {
      out.resize(static_cast<size_t>(got));
      ok = true;
    }
  }
  DVDCloseFile(file);
  if (!ok) out.clear();
  return ok;
}

int64_t Volume::title_vob_bytes(int32_t set) {
  dvd_stat_t st{};
  if (!reader_ || DVDFileStat(reader_, set, DVD_READ_TITLE_VOBS, &st) != 0) return 0;
  return st.size;
}

std::string volume_of_file(const std::string &path) {
  if (platform::drive_letter(path.c_str())) return path.substr(0, 2);
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace navlore
