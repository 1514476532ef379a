#pragma once

#include <QList>
#include <QString>

#include "core/tariff/PrintOutput.h"

// Printing on a printer as a text device: the lines go onto the page one under the other from
// the top in a fixed-pitch font, a new page begins when one is full, and the job is sent when
// the output is closed. By default the system's default printer; given a file name, a PDF file
// instead (the same printer object directed to a file).
class QtPrinterOutputFactory : public PrinterOutputFactory {
 public:
  explicit QtPrinterOutputFactory(QString pdfFile = {}) : pdfFile_(std::move(pdfFile)) {}
  std::unique_ptr<PrintOutput> CreatePrinterOutput() override;

 private:
  QString pdfFile_;
};

// A record's text line laid out for a fixed-pitch font: field k + 1 (after the k-th TAB) starts
// at columns[k], or one blank after the field before it when that is longer. TABs beyond the
// columns go to stops every eight characters. The memo and the printer show lines this way, so
// that the columns stand under their headings whatever the length of the hour.
QString LayOutColumns(const QString& line, const QList<int>& columns);

// Columns under the printed heading "  Дата   Время Абон.   Длит. НомерГЛ   Тип      Тел.Номер".
inline const QList<int> kPrintColumns = {16, 24, 32, 40, 48};
