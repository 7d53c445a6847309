// Ending the program on a signal without leaving temporary files behind.
#pragma once

namespace velkan {
class TemporaryFiles;
}

namespace velkan::cli {

// Makes the signals that end a program by default (SIGHUP, SIGINT, SIGQUIT,
// SIGTERM, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO,
// SIGPWR; not those of a crash, nor the real-time ones) remove the temporary
// output files recorded in `files` before they end the program.
// They are blocked in every thread and taken by one thread of their own with
// sigwait, which removes the files and then ends the program by the same
// signal, so that whoever started it sees the usual status 128+N. A signal
// that was ignored when the program started (as under nohup) stays ignored.
// Called first in main, before any other thread exists (threads made later
// inherit the blocked signals); `files` lives until the process ends. When no
// thread can be had the signals keep acting as they would.
void RemoveTemporariesOnSignals(TemporaryFiles& files);

}  // namespace velkan::cli
