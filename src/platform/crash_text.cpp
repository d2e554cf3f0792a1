#include <cstdio>

#include "platform/crash_reporter.h"

#include "base/catalog.h"
#include "base/text.h"

namespace kestrum {

namespace {

constexpr const char* kSupportContact = "support@varnel-recovery.example";

}  // namespace

std::string CrashDumpName(int hour, int minute, int second) {
  char name[32];
  std::snprintf(name, sizeof name, "%u_%02d%02d%02d.dmp", 1177u, hour, minute, second);
  return name;
}

std::string CrashMessage(const std::string& dumpPath) {
  return ToUtf8(TrFormat("程序运行出现错误，请将文件 %s发送到%s", dumpPath.c_str(), kSupportContact));
}

}  // namespace kestrum
