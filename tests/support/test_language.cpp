// Linked into every test binary: the programs a test starts (kestrum-cli, the
// desktop program) speak Chinese, the language whose texts the tests compare,
// whatever the machine's locale, unless the test names another.

#include <cstdlib>

namespace {

const bool kChineseChildren = [] { return ::setenv("KESTRUM_LANG", "zh", 0) == 0; }();

}  // namespace
