#pragma once

class QCoreApplication;
class QTranslator;

// Qt's own words in the program's language: the buttons and questions of the standard file,
// input and print dialogs ("Отмена", "Файл уже существует…"), from Qt's Russian translation as
// the system installs it. The translator belongs to the application; none when that translation
// is not installed (the dialogs then speak English, and nothing else changes).
QTranslator* LoadQtRussian(QCoreApplication& application);
