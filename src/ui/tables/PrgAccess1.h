#pragma once

#include "ui/tables/TableForm.h"

// Through which city lines each subscriber reaches the city network (ГТС), basic and additional
// mode side by side. The headers 1..8 always show; cells exist for the station's lines only.
class TPrgAccess1Form : public TTableForm {
  Q_OBJECT
 public:
  TPrgAccess1Form(ProgrammingContext& context, QWidget* owner);
};
