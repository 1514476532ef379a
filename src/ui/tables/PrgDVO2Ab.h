#pragma once

#include "ui/tables/TableForm.h"

// The supplementary services ДС1..ДС8 of the subscribers.
class TPrgDVO2AbForm : public TTableForm {
  Q_OBJECT
 public:
  TPrgDVO2AbForm(ProgrammingContext& context, QWidget* owner);
};
