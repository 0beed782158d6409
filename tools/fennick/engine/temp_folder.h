// A private folder for one run's temporary elementary streams, made with
// mkdtemp (so nobody can plant links under the names) and removed with
// everything in it when the run ends.
#pragma once

#include <string>

namespace fennick {

class TempFolder {
 public:
  /// Makes "<parent>/fennick.XXXXXX"; parent empty = $TMPDIR, else /tmp.
  explicit TempFolder(const std::string &parent);
  ~TempFolder();
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;

  bool ok() const { return !path_.empty(); }
  /// The reason the folder could not be made.
  const std::string &error() const { return error_; }
  const std::string &path() const { return path_; }
  std::string file(const char *name) const { return path_ + "/" + name; }
  /// Removes the files of the folder (the folder stays).
  void empty() const;

 private:
  std::string path_;
  std::string error_;
};

}  // namespace fennick
