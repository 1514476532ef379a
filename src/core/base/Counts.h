#pragma once

#include <QString>

// A count with the word that goes with it, for every count the program prints.
// Russian takes one of three forms: "1 разговор", "3 разговора", "5 разговоров", "11 разговоров",
// "21 разговор".
QString RussianCount(qint64 n, const char* one, const char* few, const char* many);
// English takes two: "1 alarm", "2 alarms".
QString EnglishCount(qint64 n, const char* one, const char* many);
// The word alone, for a count printed apart from it.
QString RussianWord(qint64 n, const char* one, const char* few, const char* many);
