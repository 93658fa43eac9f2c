// The subcommands of brindlemoor-cli; each registers itself on the application.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace bm::cli {

// Each Add* registers one subcommand whose callback runs it and stores its exit status.
void AddScanCommand(CLI::App& app, int& exit_status);
void AddListCommand(CLI::App& app, int& exit_status);
void AddPreviewCommand(CLI::App& app, int& exit_status);
void AddConvertCommand(CLI::App& app, int& exit_status);

// The arguments several subcommands share, worded once.
void AddPstArgument(CLI::App& command, std::string& pst, const char* description);
void AddFolderArgument(CLI::App& command, std::string& folder);
void AddTempOption(CLI::App& command, std::string& temp);

}  // namespace bm::cli
