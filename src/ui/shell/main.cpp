#include "ui/shell/NorvelApplication.h"

int main(int argc, char** argv) {
  NorvelApplication app(argc, argv);
  app.CreateForms();
  return app.exec();
}
