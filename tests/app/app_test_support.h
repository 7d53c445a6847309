// Helpers shared by the dialog tests: files, table roots, a stand-in editor
// and the environment.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velkan::apptest {

// Writes `bytes` to `path`, creating its folder.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// The bytes of the file at `path` ("" when it is missing).
std::string ReadFile(const std::filesystem::path& path);

// Code words as input bytes, high byte first.
std::string WordBytes(const std::vector<uint16_t>& words);

// Lays out a table root under `dir` with what a pass needs to run: the
// pi-font width file (zero widths). Returns the root.
std::filesystem::path MakeTableRoot(const std::filesystem::path& dir);

// Writes an executable shell script at `path` that records its arguments,
// one a line, in RecordOf(path) once it has them all.
void WriteRecordingEditor(const std::filesystem::path& path);
std::filesystem::path RecordOf(const std::filesystem::path& editor);

// The arguments a recording editor recorded, or nullopt when it has not
// run (yet). Waits up to `ms` milliseconds, processing events.
std::optional<std::vector<std::string>> WaitForRecord(const std::filesystem::path& editor, int ms = 5000);

// Sets (or with nullopt removes) an environment variable for the lifetime
// of the object, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace velkan::apptest
