// Runs a harness over every file of the corpus folders (or files) it is
// given, the way the test suite replays each corpus: a fault fixed once stays
// fixed. The fuzzing builds link libFuzzer's own main instead.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void RunOne(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t inputs = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path path = argv[i];
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (!entry.is_regular_file()) continue;
        RunOne(entry.path());
        ++inputs;
      }
    } else {
      RunOne(path);
      ++inputs;
    }
  }
  std::printf("%zu inputs replayed\n", inputs);
  return inputs > 0 ? 0 : 1;  // an empty corpus replays nothing: a mistake
}
