// libFuzzer target: the whole pipeline on a mutated store. The input is written as a PST file
// and driven through scan, every folder load, every row's preview and a conversion of every
// folder, in this process, through the same engine calls the desktop and the command line
// make. A run must end (no crash, no sanitizer report), write nothing outside its temp folder
// and destination, and account for every listed item in the conversion report.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "robustness/pipeline.h"

namespace {

namespace fs = std::filesystem;

void Check(bool condition) {
  if (!condition) std::abort();
}

const fs::path& WorkDirectory() {
  static const fs::path dir = [] {
    const fs::path d =
        fs::temp_directory_path() / ("bm-pipeline-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

bool OnlyExpectedEntries(const fs::path& dir) {
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name != "store.pst" && name != "temp" && name != "dest") return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path& dir = WorkDirectory();
  const fs::path pst = dir / "store.pst";
  std::ofstream(pst, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  bm::robust::PipelineOptions options;
  options.temp_parent = dir / "temp";
  options.destination = dir / "dest";
  std::error_code ec;
  fs::remove_all(options.destination, ec);
  fs::create_directories(options.temp_parent);
  fs::create_directories(options.destination);

  const bm::robust::PipelineOutcome outcome = bm::robust::RunPipeline(pst, options);
  Check(OnlyExpectedEntries(dir));
  if (outcome.converted) {
    Check(outcome.files_on_disk + static_cast<int>(outcome.failures.size()) >= outcome.rows);
  }
  return 0;
}
