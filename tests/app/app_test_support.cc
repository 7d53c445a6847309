#include "app/app_test_support.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace velkan::apptest {

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string WordBytes(const std::vector<uint16_t>& words) {
  std::string out;
  for (uint16_t w : words) {
    out += static_cast<char>(w >> 8);
    out += static_cast<char>(w & 0xFF);
  }
  return out;
}

std::filesystem::path MakeTableRoot(const std::filesystem::path& dir) {
  WriteFile(dir / "qdxfiles" / "pifont.fil", std::string(1000, '\0'));
  return dir;
}

std::filesystem::path RecordOf(const std::filesystem::path& editor) { return editor.string() + ".argv"; }

void WriteRecordingEditor(const std::filesystem::path& path) {
  WriteFile(path,
            "#!/bin/sh\n"
            "printf '%s\\n' \"$@\" > \"$0.argv.part\" && /bin/mv \"$0.argv.part\" \"$0.argv\"\n");
  ::chmod(path.c_str(), 0755);
}

std::optional<std::vector<std::string>> WaitForRecord(const std::filesystem::path& editor, int ms) {
  QElapsedTimer clock;
  clock.start();
  const std::filesystem::path record = RecordOf(editor);
  while (!std::filesystem::exists(record)) {
    if (clock.elapsed() > ms) return std::nullopt;
    QCoreApplication::processEvents();
    QThread::msleep(10);
  }
  std::vector<std::string> args;
  std::istringstream lines(ReadFile(record));
  for (std::string line; std::getline(lines, line);) args.push_back(line);
  return args;
}

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (old_) {
    ::setenv(name_.c_str(), old_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

}  // namespace velkan::apptest
