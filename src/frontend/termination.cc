#include "frontend/termination.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "frontend/messages.h"
#include "io/output_file.h"

namespace velkan::frontend {

namespace {

// Those that end a program by default, but the ones of a crash and the
// real-time signals (the C library uses some of these itself).
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGALRM, SIGUSR1,
                                  SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR};

// The registry the signal handler and the exit handler remove the files of:
// set once by RemoveTemporariesWhenEnding before either is installed, never
// changed after.
TemporaryFiles* endingFiles = nullptr;

// Removes every file recorded and names on stderr those that stay.
void RemoveAll(TemporaryFiles& files) {
  std::vector<Note> failures;
  files.RemoveAll(&failures);
  for (const Note& f : failures) {
    const std::string line = "velkan: " + RenderNote(f) + "\n";
    if (::write(STDERR_FILENO, line.data(), line.size()) < 0) break;
  }
}

// Waits for one of `signals`, removes the files and ends the program by the
// signal taken.
[[noreturn]] void EndOnSignal(sigset_t signals, TemporaryFiles& files) {
  int sig = 0;
  while (::sigwait(&signals, &sig) != 0) {
  }
  RemoveAll(files);
  // Raised again with its default action: pending while this thread blocks
  // it, taken as soon as it is let through.
  ::signal(sig, SIG_DFL);
  ::raise(sig);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, sig);
  ::pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  ::_exit(128 + sig);  // a signal whose default action did not end the program
}

// Where no thread waits for them, the signals come here: only what a signal
// handler may do.
extern "C" void RemoveAndEnd(int sig) {
  endingFiles->RemoveAllInSignalHandler();
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  ::sigaction(sig, &dfl, nullptr);
  // Pending while the handler runs (the signal is blocked in it), taken with
  // its default action as soon as it returns.
  ::raise(sig);
}

extern "C" void RemoveAtExit() { RemoveAll(*endingFiles); }

}  // namespace

void RemoveTemporariesWhenEnding(TemporaryFiles& files) {
  endingFiles = &files;
  std::atexit(RemoveAtExit);
  sigset_t signals;
  sigemptyset(&signals);
  for (int sig : kEndingSignals) {
    struct sigaction now {};
    if (::sigaction(sig, nullptr, &now) == 0 && now.sa_handler == SIG_IGN) continue;
    sigaddset(&signals, sig);
  }
  if (::pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return;
  try {
    std::thread(EndOnSignal, signals, std::ref(files)).detach();
    // Every thread blocks the signals; that one removes the files with
    // RemoveAll, never from a handler.
    files.NoHandlerRemoves();
    return;
  } catch (const std::exception&) {
    ::pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
  }
  // No thread to be had: a handler, which blocks the other ending signals
  // while it runs.
  struct sigaction handler {};
  handler.sa_handler = RemoveAndEnd;
  handler.sa_mask = signals;
  for (int sig : kEndingSignals) {
    if (sigismember(&signals, sig) == 1) ::sigaction(sig, &handler, nullptr);
  }
}

void HoldClosedDescriptor(int fd) {
  if (fd < 0 || ::fcntl(fd, F_GETFD) != -1 || errno != EBADF) return;
  int placeholder = ::open("/", O_PATH | O_CLOEXEC);
  if (placeholder < 0 || placeholder == fd) return;
  ::dup3(placeholder, fd, O_CLOEXEC);
  ::close(placeholder);
}

}  // namespace velkan::frontend
