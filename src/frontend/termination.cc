#include "cli/termination.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <exception>
#include <functional>
#include <thread>

#include "driver/output_file.h"

namespace velkan::cli {

namespace {

// Those that end a program by default, but the ones of a crash and the
// real-time signals (the C library uses some of these itself).
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGALRM, SIGUSR1,
                                  SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR};

// Waits for one of `signals`, removes the files and ends the program by the
// signal taken.
[[noreturn]] void EndOnSignal(sigset_t signals, TemporaryFiles& files) {
  int sig = 0;
  while (::sigwait(&signals, &sig) != 0) {
  }
  files.RemoveAll();
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

}  // namespace

void RemoveTemporariesOnSignals(TemporaryFiles& files) {
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
  } catch (const std::exception&) {
    ::pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
  }
}

}  // namespace velkan::cli
