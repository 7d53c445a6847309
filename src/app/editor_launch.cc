#include "app/editor_launch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "frontend/messages.h"
#include "io/shown_path.h"

extern char** environ;

namespace velkan::app {

std::vector<std::string> SplitCommandWords(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  size_t i = 0;
  while (i < text.size()) {
    char ch = text[i];
    if (ch == ' ' || ch == '\t') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      ++i;
      continue;
    }
    inWord = true;
    if (ch == '\'') {
      size_t close = text.find('\'', i + 1);
      size_t end = close == std::string_view::npos ? text.size() : close;
      word.append(text.substr(i + 1, end - i - 1));
      i = close == std::string_view::npos ? text.size() : close + 1;
    } else if (ch == '"') {
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\')) ++i;
        word += text[i];
      }
      if (i < text.size()) ++i;  // the closing quote
    } else if (ch == '\\' && i + 1 < text.size()) {
      word += text[i + 1];
      i += 2;
    } else {
      word += ch;
      ++i;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::string QuoteCommandWord(std::string_view word) {
  if (!word.empty() && word.find_first_of(" \t'\"\\") == std::string_view::npos) return std::string(word);
  std::string out = "'";
  for (char ch : word) {
    if (ch == '\'') {
      out += "'\\''";
    } else {
      out += ch;
    }
  }
  return out + "'";
}

std::vector<std::string> EditorArguments(std::string_view editorSetting, const std::string& outputPath) {
  std::vector<std::string> args = SplitCommandWords(editorSetting);
  if (!args.empty()) args.push_back(outputPath);
  return args;
}

std::vector<std::string> EditorArgumentsAtLine(std::string_view editorSetting, std::string_view linePattern,
                                               const std::string& outputPath, long long line) {
  std::vector<std::string> args = SplitCommandWords(editorSetting);
  if (args.empty()) return args;
  bool pathGiven = false;
  for (const std::string& word : SplitCommandWords(linePattern.empty() ? kDefaultLinePattern : linePattern)) {
    std::string arg;
    for (size_t i = 0; i < word.size(); ++i) {
      const char next = i + 1 < word.size() ? word[i + 1] : '\0';
      if (word[i] == '%' && (next == 'l' || next == 'f' || next == '%')) {
        if (next == 'l') arg += std::to_string(line);
        if (next == 'f') {
          arg += outputPath;
          pathGiven = true;
        }
        if (next == '%') arg += '%';
        ++i;
      } else {
        arg += word[i];
      }
    }
    args.push_back(std::move(arg));
  }
  if (!pathGiven) args.push_back(outputPath);
  return args;
}

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<std::string> FindProgram(const std::string& name, const std::optional<std::string>& searchPath) {
  if (name.empty()) return std::nullopt;
  if (name.find('/') != std::string::npos) return name;
  if (!searchPath) return std::nullopt;
  std::string_view rest = *searchPath;
  while (true) {
    size_t colon = rest.find(':');
    std::string folder(rest.substr(0, colon));
    std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return std::nullopt;
}

LaunchResult LaunchEditor(std::string_view editorSetting, const std::string& outputPath) {
  return LaunchEditorWith(EditorArguments(editorSetting, outputPath));
}

LaunchResult LaunchEditorWith(std::vector<std::string> args) {
  LaunchResult result;
  if (args.empty()) return result;

  result.kind = LaunchResult::kFailed;
  std::optional<std::string> searchPath;
  if (const char* path = std::getenv("PATH")) searchPath = path;
  std::optional<std::string> program = FindProgram(args[0], searchPath);
  if (!program) {
    result.error = "エディタ「" + ShownPath(args[0]) + "」が見つかりません。";
    return result;
  }

  auto cannotStart = [&](int err) {
    result.error = "エディタ「" + ShownPath(*program) + "」を起動できません: " + frontend::SystemErrorText(err);
    return result;
  };
  // Everything the child needs is prepared here: between fork and exec only
  // async-signal-safe calls are made.
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  sigset_t noSignals;
  sigemptyset(&noSignals);
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return cannotStart(errno);
  // The editor is the grandchild: the child exits at once and is reaped
  // here, so the editor is adopted by init and never lingers as a zombie.
  // The grandchild writes its errno into the pipe when exec fails; a pipe
  // closed without data (close-on-exec) means the exec succeeded.
  pid_t child = ::fork();
  if (child == 0) {
    ::close(report[0]);
    pid_t editor = ::fork();
    if (editor > 0) ::_exit(0);
    if (editor == 0) {
      ::setsid();
      // The editor starts with the signals as a program expects them: this
      // program blocks the ones that end it (a thread of its own takes
      // them) and ignores SIGXFSZ, and both would outlive the exec, leaving
      // an editor that SIGTERM, SIGHUP or Ctrl-C cannot end.
      ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);
      ::sigaction(SIGXFSZ, &byDefault, nullptr);
      ::execve(program->c_str(), argv.data(), environ);
    }
    int err = errno;
    ssize_t ignored = ::write(report[1], &err, sizeof err);
    (void)ignored;
    ::_exit(127);
  }
  ::close(report[1]);
  if (child < 0) {
    int err = errno;
    ::close(report[0]);
    return cannotStart(err);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int err = 0;
  ssize_t n;
  do {
    n = ::read(report[0], &err, sizeof err);
  } while (n < 0 && errno == EINTR);
  ::close(report[0]);
  if (n == static_cast<ssize_t>(sizeof err)) return cannotStart(err);
  result.kind = LaunchResult::kStarted;
  return result;
}

}  // namespace velkan::app
