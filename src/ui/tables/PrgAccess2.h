#pragma once

#include "ui/tables/TableForm.h"

// Through which city lines each subscriber reaches the long-distance network (МТС).
class TPrgAccess2Form : public TTableForm {
  Q_OBJECT
 public:
  TPrgAccess2Form(ProgrammingContext& context, QWidget* owner);
};
