// Ending the program without leaving temporary files behind, and the
// descriptors it was started with: what both front ends (the velkan command
// and the dialog) set up first in main.
//
// The one piece of process-wide state here is the registry the signal
// handler and the exit handler reach (a pointer set once, before either is
// installed): a handler can be given nothing else.
#pragma once

namespace velkan {
class TemporaryFiles;
}

namespace velkan::frontend {

// Makes the signals that end a program by default (SIGHUP, SIGINT, SIGQUIT,
// SIGTERM, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO,
// SIGPWR; not those of a crash, nor the real-time ones) remove the temporary
// output files recorded in `files`, then end the program by the same signal,
// so that whoever started it sees the usual status 128+N. A signal that was
// ignored when the program started (as under nohup) stays ignored.
//
// The signals are blocked in every thread and taken by one thread of their
// own with sigwait, which removes every file recorded. When no thread can be
// had (a limit on processes), a handler takes them instead, which removes the
// files of the registry's signal-safe table (see TemporaryFiles). Either way
// a file that cannot be removed is named on stderr.
//
// Also removes the files still recorded when the program ends through exit()
// (the dialog's toolkit ends it so when its display goes away), naming on
// stderr those that cannot be removed.
//
// Called first in main, before any other thread exists (threads made later
// inherit the blocked signals), and once; `files` lives until the process
// ends.
void RemoveTemporariesWhenEnding(TemporaryFiles& files);

// Holds the number `fd`, when it is closed, with a placeholder (an O_PATH
// descriptor of "/"), so that no file the program opens takes the number: an
// output or input named /dev/fd/N (or /dev/stdout, ...) then finds it closed
// instead of one of the program's own files. The engine counts such a
// placeholder as closed. Called before the program opens any file (for 0, 1
// and 2 first thing in main, for a descriptor named on the command line once
// that has been read).
void HoldClosedDescriptor(int fd);

}  // namespace velkan::frontend
