// bm-robust: the robustness suite's command-line helper.
//   bm-robust seeds DIR          writes the generated seed stores of the corruption corpus
//   bm-robust probe PST WORKDIR  drives the store through scan, every folder, every row and a
//                                conversion in this process, printing each stage as it starts
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "robustness/pipeline.h"
#include "robustness/seed_stores.h"
#include "tools/pstgen/pstgen.h"

namespace {

int WriteSeeds(const std::filesystem::path& directory) {
  std::filesystem::create_directories(directory);
  for (const bm::robust::Seed& seed : bm::robust::CorruptionSeeds()) {
    pstgen::Store store(u"Seed store");
    seed.build(store);
    pstgen::Write(store, directory / seed.file_name);
    std::printf("%s\n", (directory / seed.file_name).c_str());
  }
  return 0;
}

int Probe(const std::filesystem::path& pst, const std::filesystem::path& work) {
  bm::robust::PipelineOptions options;
  options.temp_parent = work / "temp";
  options.destination = work / "dest";
  std::filesystem::create_directories(options.temp_parent);
  std::filesystem::create_directories(options.destination);
  options.on_stage = [](std::string_view stage) {
    std::printf("stage %.*s\n", static_cast<int>(stage.size()), stage.data());
    std::fflush(stdout);
  };
  const bm::robust::PipelineOutcome outcome = bm::robust::RunPipeline(pst, options);
  std::printf(
      "result scanned=%d folders=%d rows=%d previews=%d converted=%d written=%d "
      "on_disk=%d skipped=%d failed=%zu\n",
      outcome.scanned ? 1 : 0, outcome.folders, outcome.rows, outcome.previews,
      outcome.converted ? 1 : 0, outcome.written, outcome.files_on_disk, outcome.skipped,
      outcome.failures.size());
  for (const std::string& failure : outcome.failures) std::printf("failure %s\n", failure.c_str());
  return outcome.scanned ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view command = argc > 1 ? argv[1] : "";
  try {
    if (command == "seeds" && argc == 3) return WriteSeeds(argv[2]);
    if (command == "probe" && argc == 4) return Probe(argv[2], argv[3]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bm-robust: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "usage: bm-robust seeds DIR | bm-robust probe PST WORKDIR\n");
  return 2;
}
