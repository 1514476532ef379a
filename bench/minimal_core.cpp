// The yardstick of start_bench: the least a QtCore program does to start and print a line.
#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::puts("usage: minimal_core");
  return 0;
}
