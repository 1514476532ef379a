#pragma once

#include <QString>

#include "core/files/CallExport.h"

class BillBook;

// Writes the export as a spreadsheet file at `path`: the date a real date, the time a time of
// day, the counts numbers, and the dialled number text, so a spreadsheet keeps its leading
// zeros. Rows are written as they stream by, so a month of any size takes the same memory.
// Gives the number of calls; throws as ExportCalls does, and IoError when the file cannot be
// written.
qint64 ExportCallsXlsx(const QString& dir, const ExportOptions& options, const QString& path,
                       ExportSelection* selection = nullptr);

// Writes the bills as the CSV bill has them, as a spreadsheet file at `path`: each call with its
// date and time, zone, minutes and cost, each subscriber's totals per zone and in all, then the
// summary of all subscribers; amounts are numbers with two decimals. Throws IoError when the
// file cannot be written.
void WriteBillsXlsx(const BillBook& book, const QString& path, bool byDepartment = false);
