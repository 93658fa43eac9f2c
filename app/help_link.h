// Where the program's links lead: the manual (wherever it is installed, at the section asked
// for) and the other local files and folders the program hands to the desktop.
#pragma once

#include <QString>
#include <QUrl>
#include <string_view>

namespace bm::app {

// The manual as a file URL opened at `section` (no section: its start). The first manual
// found wins: beside the program, in the data directory next to its bin directory, in the
// desktop's data directories, in the directory it was installed to; when none exists, the
// one beside the program.
QUrl ManualUrl(std::u16string_view program_directory, const QString& section);

// What the engine asks to open, as a URL: the manual beside the program (with "#section")
// goes to ManualUrl; a text with a scheme ("https://...") is that address; anything else is a
// local path, taken literally ('#' and '%' included).
QUrl ExternalUrl(std::u16string_view requested, std::u16string_view program_directory);

}  // namespace bm::app
