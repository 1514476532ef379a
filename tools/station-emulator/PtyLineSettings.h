#pragma once

// What the program at the other end of a pseudo-terminal has set its line to. Linux keeps one
// set of line settings per pseudo-terminal pair and shows the slave's to the master, so the
// emulator can tell the rate the program chose.
struct PtyLineState {
  unsigned rate = 0;
  bool eightDataBits = false;
  bool parity = false;
  bool twoStopBits = false;

  bool Is8N1At(unsigned wanted) const {
    return rate == wanted && eightDataBits && !parity && !twoStopBits;
  }
};

bool ReadPtyLineState(int masterFd, PtyLineState* state);
