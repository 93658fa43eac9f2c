// libFuzzer target: the PST reader on a mutated store. The input is written as a file and
// opened; every folder, table, message, recipient, attachment and embedded message is read.
// A run must end with values or errors: no crash, no sanitizer report, no hang.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "pst/store.h"
#include "pst/walk.h"

namespace {

namespace fs = std::filesystem;

const fs::path& StorePath() {
  static const fs::path path = [] {
    const fs::path dir =
        fs::temp_directory_path() / ("bm-pst-reader-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir / "store.pst";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    std::ofstream out(StorePath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  for (const bool memory_map : {true, false}) {
    pst::OpenOptions options;
    options.memory_map = memory_map;
    options.warn = [](const std::string&) {};
    auto store = pst::Store::Open(StorePath(), options);
    if (!store) return 0;
    pst::test::ReadEverything(*store);
  }
  return 0;
}
