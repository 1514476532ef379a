// Custom line rates such as 325 and 976 bit/s exist only in the kernel's termios2 (the BOTHER
// rate), whose header cannot share a file with <termios.h>; hence this file of its own.
#include "core/platform/SerialRates.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool OsTrySetRate(int descriptor, unsigned rate, unsigned* taken) {
  struct termios2 settings {};
  if (ioctl(descriptor, TCGETS2, &settings) != 0) return false;
  settings.c_cflag &= ~CBAUD;
  settings.c_cflag |= BOTHER;
  settings.c_ispeed = rate;
  settings.c_ospeed = rate;
  if (ioctl(descriptor, TCSETS2, &settings) != 0) return false;
  struct termios2 back {};
  if (ioctl(descriptor, TCGETS2, &back) != 0) return false;
  *taken = back.c_ospeed;
  return true;
}
