#pragma once
// What the Windows side's tests share: a folder of their own, and this
// program started again in one of its child modes (main.cpp).

#include <string>
#include <vector>

namespace kestrum::wintest {

// A new empty folder under the system's temporary folder, removed with all
// it holds at the end of the scope.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

struct ChildResult {
  unsigned long exitCode = 0;
  std::string err;  // what it wrote on stderr
};

// This executable with `--child` and `args`, waited for.
ChildResult RunChild(const std::vector<std::wstring>& args);

// The whole of a file's bytes; empty when it does not open.
std::string ReadFileBytes(const std::wstring& path);

// The names of the files in `folder` (not "." and "..").
std::vector<std::wstring> FilesIn(const std::wstring& folder);

}  // namespace kestrum::wintest
