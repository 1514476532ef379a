// The plugin's entries: the drawing of ReportPainter behind plain C names, so that the command
// can look them up.
#include "report/DrawingPlugin.h"

#include <QGuiApplication>

#include "report/ReportPainter.h"

extern "C" {

Q_DECL_EXPORT const char* norvel_draw_version() {
  return NORVEL_VERSION;
}

Q_DECL_EXPORT QCoreApplication* norvel_draw_application(int* argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  return new QGuiApplication(*argc, argv);
}

Q_DECL_EXPORT bool norvel_draw_report_pdf(const ReportData& data, const QString& path,
                                          QString* error) {
  return WriteReportPdf(data, path, error);
}

Q_DECL_EXPORT bool norvel_draw_report_pngs(const ReportData& data, const QString& path,
                                           QStringList* written, QString* error) {
  return WriteReportPngs(data, path, written, error);
}

Q_DECL_EXPORT bool norvel_draw_bills_pdf(const BillBook& book, const BillHeading& heading,
                                         const QString& path, QString* error) {
  return WriteBillsPdf(book, heading, path, error);
}

}  // extern "C"

// Each entry must have the type the command calls it by.
static_assert(std::is_same_v<decltype(&norvel_draw_version), drawing::Version>);
static_assert(std::is_same_v<decltype(&norvel_draw_application), drawing::MakeApplication>);
static_assert(std::is_same_v<decltype(&norvel_draw_report_pdf), drawing::ReportPdf>);
static_assert(std::is_same_v<decltype(&norvel_draw_report_pngs), drawing::ReportPngs>);
static_assert(std::is_same_v<decltype(&norvel_draw_bills_pdf), drawing::BillsPdf>);
