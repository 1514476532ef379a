#pragma once

#include <QString>
#include <QStringList>

class BillBook;
struct BillHeading;
class QCoreApplication;
struct ReportData;

// The report and the bills drawn for the command as a plugin it loads only when it draws: the
// command itself then needs neither Qt's GUI library nor the display libraries behind it, and a
// server can have the command without them. The plugin is built from the same sources in the
// same build as the command, and says which version it is; the command loads no other.
namespace drawing {

// Where the plugin lies, relative to the directory of the command (bin/ beside lib/, in the
// build tree as when installed).
#ifdef Q_OS_WIN
inline constexpr char kRelativePath[] = "norvel-draw.dll";
#else
inline constexpr char kRelativePath[] = "../lib/norvel/plugins/norvel-draw.so";
#endif

// The plugin's entries, by these names.
using Version = const char* (*)();
// A GUI application on the offscreen platform: drawing needs one, a display it does not.
using MakeApplication = QCoreApplication* (*)(int* argc, char** argv);
using ReportPdf = bool (*)(const ReportData& data, const QString& path, QString* error);
using ReportPngs = bool (*)(const ReportData& data, const QString& path, QStringList* written,
                            QString* error);
using BillsPdf = bool (*)(const BillBook& book, const BillHeading& heading, const QString& path,
                          QString* error);

inline constexpr char kVersion[] = "norvel_draw_version";
inline constexpr char kMakeApplication[] = "norvel_draw_application";
inline constexpr char kReportPdf[] = "norvel_draw_report_pdf";
inline constexpr char kReportPngs[] = "norvel_draw_report_pngs";
inline constexpr char kBillsPdf[] = "norvel_draw_bills_pdf";

}  // namespace drawing
