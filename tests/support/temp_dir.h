#pragma once
#include <string>

namespace kestrum::test {

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  // Under `parent` instead of the temporary folder the environment names.
  explicit TempDir(const std::string& parent);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);

}  // namespace kestrum::test
