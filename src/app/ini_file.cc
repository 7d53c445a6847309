#include "app/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include "frontend/messages.h"
#include "io/shown_path.h"

namespace velkan::app {

namespace {

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool IsComment(std::string_view trimmed) {
  return !trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '#');
}

// The value as it is written after "Key=": quoted when reading it back
// would otherwise change it.
std::string Encode(std::string_view value) {
  std::string v(value);
  for (char& ch : v) {
    if (ch == '\r' || ch == '\n') ch = ' ';
  }
  bool outerBlank = !v.empty() && (IsBlank(v.front()) || IsBlank(v.back()));
  bool looksQuoted = v.size() >= 2 && v.front() == '"' && v.back() == '"';
  if (outerBlank || looksQuoted) return '"' + v + '"';
  return v;
}

std::string Decode(std::string_view raw) {
  std::string_view v = Trim(raw);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return std::string(v);
}

// The file a write should replace: the target of a symbolic link, so a
// linked profile stays linked.
std::filesystem::path WriteTarget(const std::filesystem::path& path) {
  std::error_code ec;
  if (std::filesystem::is_symlink(path, ec)) {
    std::filesystem::path target = std::filesystem::canonical(path, ec);
    if (!ec) return target;
  }
  return path;
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

    Line line;
    line.text = std::string(raw);
    std::string_view t = Trim(raw);
    if (!t.empty() && t.front() == '[') {
      size_t close = t.find(']');
      line.header = true;
      line.section = std::string(Trim(t.substr(1, close == std::string_view::npos ? t.size() - 1 : close - 1)));
    } else if (!IsComment(t)) {
      size_t eq = t.find('=');
      if (eq != std::string_view::npos) line.key = std::string(Trim(t.substr(0, eq)));
    }
    ini.lines_.push_back(std::move(line));
  }
  return ini;
}

IniFile IniFile::Load(const std::filesystem::path& path) {
  // A FIFO or a device in its place is no profile, and is never waited on.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return IniFile();
  std::ifstream in(path, std::ios::binary);
  if (!in) return IniFile();
  std::ostringstream text;
  text << in.rdbuf();
  return Parse(text.str());
}

long IniFile::FindSection(std::string_view section) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].header && SameName(lines_[i].section, section)) return static_cast<long>(i);
  }
  return -1;
}

long IniFile::FindKey(long header, std::string_view key) const {
  for (size_t i = static_cast<size_t>(header) + 1; i < lines_.size() && !lines_[i].header; ++i) {
    if (!lines_[i].key.empty() && SameName(lines_[i].key, key)) return static_cast<long>(i);
  }
  return -1;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  long header = FindSection(section);
  if (header < 0) return std::nullopt;
  long at = FindKey(header, key);
  if (at < 0) return std::nullopt;
  const std::string& text = lines_[static_cast<size_t>(at)].text;
  return Decode(std::string_view(text).substr(text.find('=') + 1));
}

std::string IniFile::GetOr(std::string_view section, std::string_view key, std::string_view fallback) const {
  std::optional<std::string> v = Get(section, key);
  return v ? *v : std::string(fallback);
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  long header = FindSection(section);
  if (header < 0) {
    if (!lines_.empty() && !Trim(lines_.back().text).empty()) lines_.push_back(Line{});
    Line h;
    h.text = "[" + std::string(section) + "]";
    h.section = std::string(section);
    h.header = true;
    lines_.push_back(std::move(h));
    header = static_cast<long>(lines_.size()) - 1;
  }
  long at = FindKey(header, key);
  if (at >= 0) {
    Line& line = lines_[static_cast<size_t>(at)];
    line.text = line.key + "=" + Encode(value);
    return;
  }
  size_t insertAt = static_cast<size_t>(header) + 1;
  for (size_t i = insertAt; i < lines_.size() && !lines_[i].header; ++i) {
    if (!lines_[i].key.empty()) insertAt = i + 1;
  }
  Line line;
  line.key = std::string(key);
  line.text = line.key + "=" + Encode(value);
  lines_.insert(lines_.begin() + static_cast<long>(insertAt), std::move(line));
}

std::string IniFile::Text() const {
  std::string out;
  for (const Line& line : lines_) {
    out += line.text;
    out += '\n';
  }
  return out;
}

bool IniFile::Save(const std::filesystem::path& path, std::string* error) const {
  auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  std::filesystem::path target = WriteTarget(path);
  std::error_code ec;
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
  if (ec) return fail(ShownPath(target.parent_path()) + ": " + frontend::SystemErrorText(ec.value()));

  std::string temp = target.string() + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return fail(ShownPath(target) + ": " + frontend::SystemErrorText(errno));
  struct stat old {};
  ::fchmod(fd, ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);

  std::string text = Text();
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int err = errno;
      ::close(fd);
      ::unlink(temp.c_str());
      return fail(ShownPath(target) + ": " + frontend::SystemErrorText(err));
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (::close(fd) != 0 || ::rename(temp.c_str(), target.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    return fail(ShownPath(target) + ": " + frontend::SystemErrorText(err));
  }
  return true;
}

int LeadingInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) return static_cast<int>(-value);
  return static_cast<int>(value > INT_MAX ? INT_MAX : value);
}

}  // namespace velkan::app
