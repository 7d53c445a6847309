// The choices the main dialog remembers between runs, kept in the section
// [VELKAN] of velkan.ini in the user's configuration folder.
#pragma once

#include <filesystem>
#include <string>

#include "app/ini_file.h"

namespace velkan::app {

// The section all keys live in.
inline constexpr const char* kSettingsSection = "VELKAN";

struct Settings {
  std::string udfFile;     // UDFFile: user-defined format file
  std::string inputFile;   // InputFile
  std::string outputFile;  // OutputFile
  std::string defineFile;  // DefineFile: definition file
  std::string editer;      // Editer: the editor command
  int kumi = 0;            // Kumi: 0 horizontal, 1 vertical
  int unit = 0;            // Unit: 0 pt, 1 Q
  int warning = 0;         // Warning: 0 warnings written, 1 not
  int editerBoot = 0;      // EditerBoot: 1 starts the editor after Convert
  int inputEncoding = 0;   // InputEncoding: text jobs in 0 Shift_JIS, 1 UTF-8
  std::string root;        // Root: table root; empty = not set by the user
  // EditerLine: the editor's arguments that open the output at a line
  // (see EditorArgumentsAtLine); empty = the default "+%l %f".
  std::string editerLine;

  bool operator==(const Settings&) const = default;
};

// The folder of the application's profiles: $XDG_CONFIG_HOME/velkan when
// that variable holds an absolute path, else ~/.config/velkan.
std::filesystem::path ConfigFolder();

// velkan.ini in ConfigFolder().
std::filesystem::path SettingsFilePath();

// Reads the settings from `ini`. Missing text keys are empty; the integer
// keys are read by their leading digits, and a missing key, an empty value
// or a value without digits reads as 0.
Settings ReadSettings(const IniFile& ini);

// Writes the nine keys into `ini` in their order (UDFFile, InputFile,
// OutputFile, DefineFile, Editer, Kumi, Unit, Warning, EditerBoot), empty
// ones included, the integers with "%d"; then InputEncoding, likewise; then
// Root and EditerLine, each only when it is set.
void WriteSettings(IniFile& ini, const Settings& s);

// The settings in the file at `path`; the defaults when it is missing.
Settings LoadSettings(const std::filesystem::path& path);

// Stores `s` in the file at `path`, keeping whatever else the file holds.
// Returns false (and the reason in *error) when the file could not be
// written.
bool SaveSettings(const std::filesystem::path& path, const Settings& s, std::string* error = nullptr);

}  // namespace velkan::app
