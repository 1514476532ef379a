#pragma once

// Standard error goes to a terminal (a person watching), not to a file or a journal: only then
// does the command line draw its progress bar.
bool OsStandardErrorIsTerminal();
