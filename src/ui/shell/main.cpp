#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <QFile>
#include <QString>

#include "ui/shell/NorvelApplication.h"

#ifndef NORVEL_VERSION
#define NORVEL_VERSION "unknown"
#endif

int main(int argc, char** argv) {
  // --offline [FILE] edits a configuration file without the station; --boards N gives its
  // board count.
  bool offline = false;
  QString offlineFile;
  QString base;
  std::optional<int> boards;
  // Asked for its help or version, the program says it and ends, without a window or a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--offline") == 0) {
      offline = true;
      if (i + 1 < argc && argv[i + 1][0] != '-') offlineFile = QFile::decodeName(argv[++i]);
      continue;
    }
    if (std::strcmp(argv[i], "--base") == 0 && i + 1 < argc) {
      base = QFile::decodeName(argv[++i]);
      continue;
    }
    if (std::strcmp(argv[i], "--boards") == 0 && i + 1 < argc) {
      const int count = std::atoi(argv[++i]);
      if (count < 1 || count > 4) {
        std::fputs("NorvelWin: --boards takes 1 to 4\n", stderr);
        return 2;
      }
      boards = count;
      continue;
    }
    if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
      std::puts("NorvelWin " NORVEL_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(
          "usage: NorvelWin [--help] [--version] [--offline [FILE] [--base IMAGE] [--boards N]]\n"
          "\n"
          "The service tool for the Norvel mini-PBX: programs the station, receives its call\n"
          "records into month files and analyses them. It works in the directory it is started\n"
          "in (NorvelWin.ini, Norvel.cfg, the month files); NORVEL_COM<N>=DEVICE names the\n"
          "device of port COM<N>. The same work without a display: norvel(1).\n"
          "\n"
          "--offline [FILE]  program without the station: edit a saved configuration (asked\n"
          "                  for when FILE is not given) in the table windows and save it;\n"
          "                  the port is never opened. --boards N (1..4) gives the station's\n"
          "                  boards, else NorvelWin.ini does, else the program asks.\n"
          "                  A configuration text (from norvel config export) opens applied\n"
          "                  to --base IMAGE (\"empty\": all bytes zero) and is saved as an\n"
          "                  image under a name the program asks for.\n",
          stdout);
      return 0;
    }
  }
  NorvelApplication app(argc, argv);
  if (offline) {
    if (!app.CreateOfflineForms(offlineFile, boards, base)) return 0;
  } else {
    app.CreateForms();
  }
  return app.exec();
}
