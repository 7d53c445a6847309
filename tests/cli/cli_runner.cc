#include "cli/cli_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "support/test_support.h"

extern char** environ;

namespace velkan::test {

RunningVelkan::RunningVelkan(const std::vector<std::string>& args, const std::vector<std::string>& env,
                             const std::string& cwd, const std::function<void()>& inChild)
    : io_(std::make_unique<TempDir>()) {
  std::filesystem::path outPath = io_->path() / "stdout", errPath = io_->path() / "stderr";
  // A variable the test gives replaces the inherited one of the same name
  // (getenv finds the first, so appending would not be enough: a test's
  // ASAN_OPTIONS must win over the one CI runs the suite with).
  auto given = [&env](const std::string& v) {
    size_t eq = v.find('=');
    for (const std::string& g : env) {
      if (eq != std::string::npos && g.compare(0, eq + 1, v, 0, eq + 1) == 0) return true;
    }
    return false;
  };
  std::vector<std::string> envs;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string v = *e;
    if (v.rfind("VELKAN_ROOT=", 0) == 0 || v.rfind("VELKAN_STORE=", 0) == 0 || v.rfind("MTBL=", 0) == 0) continue;
    // The messages are English unless a test asks for a language.
    if (v.rfind("LANGUAGE=", 0) == 0 || v.rfind("LC_ALL=", 0) == 0 || v.rfind("LC_MESSAGES=", 0) == 0 ||
        v.rfind("LANG=", 0) == 0) {
      continue;
    }
    if (given(v)) continue;
    envs.push_back(v);
  }
  if (!given("LANG=")) envs.emplace_back("LANG=C.UTF-8");
  envs.insert(envs.end(), env.begin(), env.end());
  std::vector<std::string> argv = {VELKAN_CLI_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> argp, envp;
  for (std::string& a : argv) argp.push_back(a.data());
  argp.push_back(nullptr);
  for (std::string& e : envs) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ == 0) {
    int o = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int n = ::open("/dev/null", O_RDONLY);
    if (o < 0 || e < 0 || n < 0) ::_exit(127);
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(127);
    ::dup2(n, 0);
    ::dup2(o, 1);
    ::dup2(e, 2);
    if (inChild) inChild();
    ::execve(argp[0], argp.data(), envp.data());
    ::_exit(127);
  }
  if (pid_ < 0) ADD_FAILURE() << "could not run " << VELKAN_CLI_PATH;
}

RunningVelkan::~RunningVelkan() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int st = 0;
  ::waitpid(pid_, &st, 0);
}

CliRun RunningVelkan::Wait() {
  CliRun r;
  int st = 0;
  if (pid_ <= 0 || ::waitpid(pid_, &st, 0) != pid_) {
    ADD_FAILURE() << "could not wait for " << VELKAN_CLI_PATH;
    return r;
  }
  pid_ = -1;
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  r.out = Slurp(io_->path() / "stdout");
  r.err = Slurp(io_->path() / "stderr");
  return r;
}

HeldPipe::HeldPipe() {
  int p[2];
  if (::pipe2(p, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "no pipe";
    return;
  }
  reader_ = p[0];
  writer_ = p[1];
}

HeldPipe::~HeldPipe() {
  if (reader_ >= 0) ::close(reader_);
  Release();
}

void HeldPipe::GiveAs(int fd) const {
  // A descriptor that already has the number keeps its close-on-exec flag.
  if (reader_ == fd) ::fcntl(fd, F_SETFD, 0);
  else ::dup2(reader_, fd);
}

void HeldPipe::Release(const std::string& bytes) {
  if (writer_ < 0) return;
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = ::write(writer_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(writer_);
  writer_ = -1;
}

CliRun RunVelkan(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& cwd,
                 const std::function<void()>& inChild) {
  return RunningVelkan(args, env, cwd, inChild).Wait();
}

CliRun RunVelkanOnTerminal(const std::vector<std::string>& args) {
  std::vector<std::string> all = {VELKAN_CLI_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argp;
  for (std::string& s : all) argp.push_back(s.data());
  argp.push_back(nullptr);
  CliRun run;
  int master = -1;
  pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) {
    ADD_FAILURE() << "no terminal for " << VELKAN_CLI_PATH;
    return run;
  }
  if (pid == 0) {
    ::execv(argp[0], argp.data());
    ::_exit(127);
  }
  char buf[512];
  for (;;) {
    ssize_t n = ::read(master, buf, sizeof buf);
    if (n <= 0) break;  // EIO once the program has ended
    run.out.append(buf, static_cast<size_t>(n));
  }
  int st = 0;
  if (::waitpid(pid, &st, 0) == pid) run.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  ::close(master);
  return run;
}

}  // namespace velkan::test
