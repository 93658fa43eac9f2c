// The subcommands of brindlemoor-cli; each registers itself on the application.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace bm::cli {

// Exit statuses, the same for every subcommand (--help and the README list them).
inline constexpr int kExitDone = 0;            // everything asked for was done (all written)
inline constexpr int kExitNotStarted = 1;      // could not start: bad store, folder, row, ...
inline constexpr int kExitSomeNotWritten = 2;  // convert: some items were not written
inline constexpr int kExitUsage = 64;          // unknown subcommand or option, missing argument
inline constexpr int kExitSignalBase = 128;    // stopped by signal N: 128 + N (SIGINT 130)

// The exit status table as --help prints it.
inline constexpr const char* kExitStatusHelp =
    "Exit status: 0 done (every item written), 1 could not start (the store cannot be read, "
    "no such folder or row, ...), 2 some items were not written (each is named), 64 usage "
    "error (unknown subcommand or option, missing argument), 130 stopped by Ctrl+C (SIGINT), "
    "128+N stopped by signal N (143 SIGTERM, 129 SIGHUP).";

// Each Add* registers one subcommand whose callback runs it and stores its exit status.
void AddScanCommand(CLI::App& app, int& exit_status);
void AddListCommand(CLI::App& app, int& exit_status);
void AddPreviewCommand(CLI::App& app, int& exit_status);
void AddConvertCommand(CLI::App& app, int& exit_status);

// The arguments several subcommands share, worded once.
void AddPstArgument(CLI::App& command, std::string& pst, const char* description);
void AddFolderArgument(CLI::App& command, std::string& folder);
void AddTempOption(CLI::App& command, std::string& temp);
void AddJsonFlag(CLI::App& command, bool& json, const char* description);

}  // namespace bm::cli
