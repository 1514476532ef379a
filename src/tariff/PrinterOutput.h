#pragma once

#include <QString>

#include "tariff/PrintOutput.h"

// Printing on a printer as a text device: the lines go onto the page one under the other from
// the top in a fixed-pitch font, a new page begins when one is full, and the job is sent when
// the output is closed. By default the system's default printer; given a file name, a PDF file
// instead (the same printer object directed to a file).
class QtPrinterOutputFactory : public PrinterOutputFactory {
 public:
  explicit QtPrinterOutputFactory(QString pdfFile = {}) : pdfFile_(std::move(pdfFile)) {}
  std::unique_ptr<PrintOutput> CreatePrinterOutput() override;
  void SetPdfFile(const QString& path) { pdfFile_ = path; }

 private:
  QString pdfFile_;
};

// Tabs expanded to stops every eight characters, as the memo and the printer show lines.
QString ExpandTabs(const QString& line);
