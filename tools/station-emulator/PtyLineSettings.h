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
  // One byte's time on the line: start bit, data bits, parity, stop bits.
  long long ByteTimeUs() const {
    const int bits = 1 + (eightDataBits ? 8 : 7) + (parity ? 1 : 0) + (twoStopBits ? 2 : 1);
    return bits * 1'000'000LL / (rate ? rate : 9600);
  }
};

bool ReadPtyLineState(int masterFd, PtyLineState* state);
