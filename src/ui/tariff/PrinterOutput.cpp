#include "ui/tariff/PrinterOutput.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "ui/tariff/ColumnFont.h"

namespace {

class PrinterOutput : public PrintOutput {
 public:
  explicit PrinterOutput(QString pdfFile) : pdfFile_(std::move(pdfFile)) {}

  bool Open() override {
    if (pdfFile_.isEmpty()) {
      const QPrinterInfo info = QPrinterInfo::defaultPrinter();
      if (info.isNull()) return false;  // no printer configured
      printer_ = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    } else {
      printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
      printer_->setOutputFormat(QPrinter::PdfFormat);
      printer_->setOutputFileName(pdfFile_);
    }
    printer_->setDocName(QStringLiteral("NorvelWin"));
    if (!painter_.begin(printer_.get())) return false;
    QFont font = ColumnFont();
    font.setPointSize(10);
    painter_.setFont(font);
    lineHeight_ = painter_.fontMetrics().lineSpacing();
    ascent_ = painter_.fontMetrics().ascent();
    pageHeight_ = printer_->pageLayout().paintRectPixels(printer_->resolution()).height();
    return true;
  }

  bool WriteLine(const QString& line) override {
    if (!painter_.isActive()) return false;
    if (y_ > 0 && y_ + lineHeight_ > pageHeight_) {
      if (!printer_->newPage()) return false;
      y_ = 0;
    }
    painter_.drawText(0, y_ + ascent_, LayOutColumns(line, kPrintColumns));
    y_ += lineHeight_;
    return true;
  }

  bool Close() override { return painter_.isActive() && painter_.end(); }

 private:
  QString pdfFile_;
  std::unique_ptr<QPrinter> printer_;
  QPainter painter_;
  int lineHeight_ = 0;
  int ascent_ = 0;
  int pageHeight_ = 0;
  int y_ = 0;
};

}  // namespace

std::unique_ptr<PrintOutput> QtPrinterOutputFactory::CreatePrinterOutput() {
  return std::make_unique<PrinterOutput>(pdfFile_);
}

QString LayOutColumns(const QString& line, const QList<int>& columns) {
  if (!line.contains(u'\t')) return line;
  QString out;
  out.reserve(qMax<qsizetype>(line.size(), columns.isEmpty() ? 0 : columns.last()) + 24);
  int field = 0;
  for (QChar c : line) {
    if (c != u'\t') {
      out += c;
      continue;
    }
    qsizetype target = field < columns.size() ? qMax<qsizetype>(columns[field], out.size() + 1)
                                              : (out.size() / 8 + 1) * 8;
    out += QString(target - out.size(), u' ');
    ++field;
  }
  return out;
}
