#pragma once

#include "ui/tables/TableForm.h"

// The supplementary services ДС1..ДС8 of the city lines.
class TPrgDVO2CLForm : public TTableForm {
  Q_OBJECT
 public:
  TPrgDVO2CLForm(ProgrammingContext& context, QWidget* owner);
};
