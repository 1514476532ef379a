#pragma once

#include "ui/tables/TableForm.h"

// The supplementary services ОС1..ОС8 of the subscribers, basic and additional mode side by side.
class TPrgDVO1AbForm : public TTableForm {
  Q_OBJECT
 public:
  TPrgDVO1AbForm(ProgrammingContext& context, QWidget* owner);
};
