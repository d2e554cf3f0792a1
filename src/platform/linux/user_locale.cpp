#include "platform/user_locale.h"

namespace kestrum::platform {

// LC_ALL, LC_MESSAGES, LANG and LANGUAGE are the locale here; a program
// started without them runs in the C locale.
std::string UserLocaleName() { return {}; }

}  // namespace kestrum::platform
