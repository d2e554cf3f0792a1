#pragma once
// The language the user chose for the system, where the system keeps it
// outside the environment.

#include <string>

namespace kestrum::platform {

// The user's locale name ("zh-CN", "en-US") where no locale variable holds
// it (Windows); empty where the environment is the locale (Linux).
std::string UserLocaleName();

}  // namespace kestrum::platform
