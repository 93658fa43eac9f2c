// brindlemoor-pstgen: writes the demo store, benchmark stores and edge-case shapes, and checks
// the structure of PST files.
#include <charconv>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/pstgen/checker.h"
#include "tools/pstgen/presets.h"
#include "tools/pstgen/pstgen.h"

namespace {

constexpr char kUsage[] =
    "Usage: brindlemoor-pstgen COMMAND [OPTIONS]\n"
    "\n"
    "Writes PST files of a known shape, Unicode or ANSI.\n"
    "\n"
    "Commands:\n"
    "  --demo OUT.pst               a small realistic mailbox (mail, contacts, calendar,\n"
    "                               tasks, notes, attachments, non-ASCII text)\n"
    "  --synthetic N OUT.pst        N messages over a folder tree with a realistic mix of\n"
    "                               bodies and attachments; the same for the same --seed\n"
    "  --wide-folder N OUT.pst      one folder holding N messages (70000 for the edge case)\n"
    "  --deep N OUT.pst             folders nested N levels deep (30 for the edge case)\n"
    "  --msg-fidelity OUT.pst       items whose MSG copies must keep every property (named,\n"
    "                               multi-valued, EX addresses, OLE and embedded attachments)\n"
    "  --special-names OUT.pst      folders named with / \\ : * ? < > | and other oddities\n"
    "  --check FILE.pst             verify the file's structure (CRCs, signatures, back\n"
    "                               pointers, allocation maps, tables against the node tree)\n"
    "  --layout FILE.pst            print where the file's structures lie, as JSON (header\n"
    "                               fields, B-tree pages, blocks, nodes)\n"
    "  --help                       show this text\n"
    "\n"
    "Options:\n"
    "  --seed S                     seed for --synthetic (default 1)\n"
    "  --encryption none|compressible|cyclic\n"
    "                               block encoding of the written file (default none)\n"
    "  --ansi                       write an ANSI (Outlook 97-2002) file: 32-bit offsets,\n"
    "                               text in Windows-1252, '?' for characters outside it\n"
    "\n"
    "Exit status: 0 on success, 1 when --check finds faults or writing fails, 2 on bad usage.\n";

struct Options {
  std::string command;
  std::vector<std::string> arguments;
  std::uint64_t seed = 1;
  pstgen::Encryption encryption = pstgen::Encryption::kNone;
  pstgen::FileFormat format = pstgen::FileFormat::kUnicode;
};

std::optional<pstgen::Encryption> ParseEncryption(std::string_view value) {
  if (value == "none") return pstgen::Encryption::kNone;
  if (value == "compressible") return pstgen::Encryption::kCompressible;
  if (value == "cyclic") return pstgen::Encryption::kCyclic;
  return std::nullopt;
}

std::optional<std::uint64_t> ParseNumber(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

int Usage(const char* problem) {
  std::fprintf(stderr, "brindlemoor-pstgen: %s\n\n%s", problem, kUsage);
  return 2;
}

std::optional<Options> Parse(int argc, char** argv, int& status) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--seed" || arg == "--encryption") {
      if (i + 1 >= argc) {
        status = Usage("an option lacks its value");
        return std::nullopt;
      }
      const std::string_view value = argv[++i];
      if (arg == "--seed") {
        const auto seed = ParseNumber(value);
        if (!seed) {
          status = Usage("--seed takes a number");
          return std::nullopt;
        }
        options.seed = *seed;
      } else if (const auto encryption = ParseEncryption(value)) {
        options.encryption = *encryption;
      } else {
        status = Usage("--encryption takes none, compressible or cyclic");
        return std::nullopt;
      }
    } else if (arg == "--ansi") {
      options.format = pstgen::FileFormat::kAnsi;
    } else if (arg.rfind("--", 0) == 0) {
      if (!options.command.empty()) {
        status = Usage("give one command");
        return std::nullopt;
      }
      options.command = arg;
    } else {
      options.arguments.emplace_back(arg);
    }
  }
  return options;
}

int Check(const std::string& path) {
  const pstgen::CheckReport report = pstgen::CheckPst(path);
  for (const std::string& problem : report.problems) std::printf("%s\n", problem.c_str());
  std::printf(
      "%s: %zu nodes, %zu blocks, %zu folders, %zu messages; B-tree levels: nodes %d, blocks %d; "
      "%llu bytes allocated but unused; %s\n",
      path.c_str(), report.nodes, report.blocks, report.folders, report.messages,
      report.nbt_levels + 1, report.bbt_levels + 1,
      static_cast<unsigned long long>(report.leaked_bytes),
      report.ok() ? "no faults" : "FAULTS FOUND");
  return report.ok() ? 0 : 1;
}

int Run(const Options& options) {
  const auto& args = options.arguments;
  const auto counted = [&](std::uint64_t limit) -> std::optional<std::uint64_t> {
    if (args.size() != 2) return std::nullopt;
    const auto n = ParseNumber(args[0]);
    return n && *n <= limit ? n : std::nullopt;
  };
  std::optional<pstgen::Store> store;
  std::string out;
  if (options.command == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  } else if (options.command == "--check" && args.size() == 1) {
    return Check(args[0]);
  } else if (options.command == "--layout" && args.size() == 1) {
    std::fputs(pstgen::LayoutJson(pstgen::MapPst(args[0])).c_str(), stdout);
    return 0;
  } else if (options.command == "--demo" && args.size() == 1) {
    store.emplace(pstgen::DemoStore());
  } else if (options.command == "--msg-fidelity" && args.size() == 1) {
    store.emplace(pstgen::MsgFidelityStore());
  } else if (options.command == "--special-names" && args.size() == 1) {
    store.emplace(pstgen::SpecialNamesStore());
  } else if (options.command == "--synthetic" && counted(50'000'000)) {
    store.emplace(pstgen::SyntheticStore(*counted(50'000'000), options.seed));
  } else if (options.command == "--wide-folder" && counted(50'000'000)) {
    store.emplace(pstgen::WideFolderStore(*counted(50'000'000)));
  } else if (options.command == "--deep" && counted(1000)) {
    store.emplace(pstgen::DeepStore(static_cast<int>(*counted(1000))));
  } else {
    return Usage(options.command.empty() ? "no command given"
                                         : "unknown command or wrong arguments");
  }
  store->set_encryption(options.encryption);
  store->set_format(options.format);
  pstgen::Write(*store, args.back());
  std::printf("wrote %s\n", args.back().c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  const std::optional<Options> options = Parse(argc, argv, status);
  if (!options) return status;
  try {
    return Run(*options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "brindlemoor-pstgen: %s\n", error.what());
    return 1;
  }
}
