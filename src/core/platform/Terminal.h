#pragma once

// Standard error goes to a terminal (a person watching), not to a file or a journal: only then
// does the command line draw its progress bar.
bool OsStandardErrorIsTerminal();

// Writes to a closed pipe fail with EPIPE instead of ending the process with SIGPIPE.
void OsIgnoreBrokenPipe();
