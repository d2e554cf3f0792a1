#include "platform/user_locale.h"

#include "platform/windows/win32.h"

namespace kestrum::platform {

std::string UserLocaleName() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) == 0) return {};
  return win32::Utf8(name);
}

}  // namespace kestrum::platform
