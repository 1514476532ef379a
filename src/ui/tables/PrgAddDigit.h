#pragma once

#include "ui/tables/TableForm.h"

// The digit added on each city line: one two-digit hexadecimal cell per line.
class TPrgAddDigitForm : public TTableForm {
  Q_OBJECT
 public:
  TPrgAddDigitForm(ProgrammingContext& context, QWidget* owner);
};
