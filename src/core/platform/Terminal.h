#pragma once

// Standard error goes to a terminal (a person watching), not to a file or a journal: only then
// does the command line draw its progress bar.
bool OsStandardErrorIsTerminal();

// The stream (1 standard output, 2 standard error) goes to the systemd journal, which takes a
// syslog priority at the start of each line ("<3>" an error).
bool OsStreamIsJournal(int descriptor);

// Writes to a closed pipe fail with EPIPE instead of ending the process with SIGPIPE.
void OsIgnoreBrokenPipe();
