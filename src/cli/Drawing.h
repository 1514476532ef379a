#pragma once

#include <QString>

#include "report/DrawingPlugin.h"

// The drawing plugin as the command finds it: beside the command in the build tree and when
// installed (the package norvelwin brings it). Loaded once, kept for the life of the program.
struct Drawing {
  drawing::MakeApplication makeApplication;
  drawing::ReportPdf reportPdf;
  drawing::ReportPngs reportPngs;
  drawing::BillsPdf billsPdf;

  // Looks for the plugin relative to this program's file; null when it is not there, is of
  // another version or cannot be loaded. The first call must come before any Qt application
  // exists (it may make the application); later calls give the same answer.
  static const Drawing* Load(const char* argv0 = nullptr);
  // Why Load gave null, for the person who asked for a PDF or a PNG.
  static QString Missing();
};
