#include <cstdio>
#include <cstring>

#include "ui/shell/NorvelApplication.h"

#ifndef NORVEL_VERSION
#define NORVEL_VERSION "unknown"
#endif

int main(int argc, char** argv) {
  // Asked for its help or version, the program says it and ends, without a window or a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
      std::puts("NorvelWin " NORVEL_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(
          "usage: NorvelWin [--help] [--version]\n"
          "\n"
          "The service tool for the Norvel mini-PBX: programs the station, receives its call\n"
          "records into month files and analyses them. It works in the directory it is started\n"
          "in (NorvelWin.ini, Norvel.cfg, the month files); NORVEL_COM<N>=DEVICE names the\n"
          "device of port COM<N>. The same work without a display: norvel(1).\n",
          stdout);
      return 0;
    }
  }
  NorvelApplication app(argc, argv);
  app.CreateForms();
  return app.exec();
}
