#include "app/settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "frontend/messages.h"
#include "io/shown_path.h"

namespace velkan::app {

namespace {

std::filesystem::path HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return ".";
}

}  // namespace

std::filesystem::path ConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return std::filesystem::path(xdg) / "velkan";
  return HomeFolder() / ".config" / "velkan";
}

std::filesystem::path SettingsFilePath() { return ConfigFolder() / "velkan.ini"; }

Settings ReadSettings(const IniFile& ini) {
  const char* s = kSettingsSection;
  Settings out;
  out.udfFile = ini.GetOr(s, "UDFFile", "");
  out.inputFile = ini.GetOr(s, "InputFile", "");
  out.outputFile = ini.GetOr(s, "OutputFile", "");
  out.defineFile = ini.GetOr(s, "DefineFile", "");
  out.editer = ini.GetOr(s, "Editer", "");
  out.kumi = LeadingInteger(ini.GetOr(s, "Kumi", ""));
  out.unit = LeadingInteger(ini.GetOr(s, "Unit", ""));
  out.warning = LeadingInteger(ini.GetOr(s, "Warning", ""));
  out.editerBoot = LeadingInteger(ini.GetOr(s, "EditerBoot", ""));
  out.inputEncoding = LeadingInteger(ini.GetOr(s, "InputEncoding", ""));
  out.root = ini.GetOr(s, "Root", "");
  out.editerLine = ini.GetOr(s, "EditerLine", "");
  return out;
}

void WriteSettings(IniFile& ini, const Settings& v) {
  const char* s = kSettingsSection;
  ini.Set(s, "UDFFile", v.udfFile);
  ini.Set(s, "InputFile", v.inputFile);
  ini.Set(s, "OutputFile", v.outputFile);
  ini.Set(s, "DefineFile", v.defineFile);
  ini.Set(s, "Editer", v.editer);
  ini.Set(s, "Kumi", std::to_string(v.kumi));
  ini.Set(s, "Unit", std::to_string(v.unit));
  ini.Set(s, "Warning", std::to_string(v.warning));
  ini.Set(s, "EditerBoot", std::to_string(v.editerBoot));
  ini.Set(s, "InputEncoding", std::to_string(v.inputEncoding));
  if (!v.root.empty()) ini.Set(s, "Root", v.root);
  if (!v.editerLine.empty()) ini.Set(s, "EditerLine", v.editerLine);
}

Settings LoadSettings(const std::filesystem::path& path) { return ReadSettings(IniFile::Load(path)); }

bool SaveSettings(const std::filesystem::path& path, const Settings& s, std::string* error) {
  // A profile that exists but cannot be read is not replaced by one that
  // would hold only these keys.
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      // The reason in the user's language, as the system gives it.
      if (error) *error = ShownPath(path) + ": " + frontend::SystemErrorText(errno);
      return false;
    }
    ::close(fd);
  }
  IniFile ini = IniFile::Load(path);
  WriteSettings(ini, s);
  return ini.Save(path, error);
}

}  // namespace velkan::app
