// Feeds every file of the given directories (and the given files) to the target once, the way
// the fuzzer would, so the corpora and every finding are replayed by the ordinary tests.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size);

int main(int Argc, char** Argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> Files;
  for (int I = 1; I < Argc; ++I) {
    std::error_code Error;
    if (fs::is_directory(Argv[I], Error)) {
      for (const fs::directory_entry& Entry : fs::recursive_directory_iterator(Argv[I], Error))
        if (Entry.is_regular_file())
          Files.push_back(Entry.path());
    } else if (fs::is_regular_file(Argv[I], Error)) {
      Files.emplace_back(Argv[I]);
    } else {
      std::fprintf(stderr, "replay: no such corpus: %s\n", Argv[I]);
      return 2;
    }
  }
  std::sort(Files.begin(), Files.end());
  if (Files.empty()) {
    std::fprintf(stderr, "replay: the corpus is empty\n");
    return 2;
  }
  for (const fs::path& File : Files) {
    std::ifstream In(File, std::ios::binary);
    const std::vector<char> Bytes((std::istreambuf_iterator<char>(In)),
                                  std::istreambuf_iterator<char>());
    if (In.bad()) {
      std::fprintf(stderr, "replay: cannot read %s\n", File.c_str());
      return 2;
    }
    // a failing input names itself before the target aborts
    std::fprintf(stderr, "replay: %s\n", File.c_str());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(Bytes.data()), Bytes.size());
  }
  std::printf("replayed %zu inputs\n", Files.size());
  return 0;
}
