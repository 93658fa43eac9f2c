// The Convert command and the conversion worker: ticked folders become a destination tree.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "base/result.h"

#include "msg/component_runtime.h"

namespace bm {

class AppState;

// How the two messaging components bring up their runtimes (tests inject failures here).
struct ComponentStarters {
  ComponentStarter mime = StartMimeRuntime;
  ComponentStarter messaging = StartMessagingRuntime;
};

// The command, on the interface thread: checks the components and that a folder is ticked,
// sets conversion mode and asks for the destination. True when the caller must now start the
// conversion worker (the destination path is then in `destination`).
bool ConvertCommand(AppState& state, std::u16string& destination,
                    const ComponentStarters& starters = {});

// The conversion worker: mirrors the folder tree under a new destination root and converts
// every ticked folder. Ends with its final message box.
void RunConversionWorker(AppState& state, const std::u16string& destination);

// Makes sure `destination` can take a conversion: a directory (made when missing) that the
// run may write into. The reason, naming the destination, when it cannot.
Status PrepareDestination(const std::filesystem::path& destination);

// "convertPSTFile" + day, month, year, hour, minute, second of the local time, no zero padding.
std::u16string DestinationRootName(std::chrono::system_clock::time_point now);

}  // namespace bm
