// Custom rates such as 325 and 976 bit/s are only visible through the kernel's termios2 (the
// BOTHER rate), whose header cannot share a file with <termios.h>; hence this file of its own.
#include "PtyLineSettings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool ReadPtyLineState(int masterFd, PtyLineState* state) {
  struct termios2 settings {};
  if (ioctl(masterFd, TCGETS2, &settings) != 0) return false;
  state->rate = settings.c_ospeed;
  state->eightDataBits = (settings.c_cflag & CSIZE) == CS8;
  state->parity = (settings.c_cflag & PARENB) != 0;
  state->twoStopBits = (settings.c_cflag & CSTOPB) != 0;
  return true;
}
