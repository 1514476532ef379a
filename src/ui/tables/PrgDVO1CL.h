#pragma once

#include "ui/tables/TableForm.h"

// The supplementary services ОС1..ОС8 of the city lines, basic and additional mode side by side.
class TPrgDVO1CLForm : public TTableForm {
  Q_OBJECT
 public:
  TPrgDVO1CLForm(ProgrammingContext& context, QWidget* owner);
};
