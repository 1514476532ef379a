#pragma once

#include "ui/tables/TableForm.h"

// The calls arriving on each city line: for each line and mode, four cells naming the
// subscribers offered the call, each with or without the delay sign. A typed "+" or "-" sets
// or clears the sign of the current cell and moves on.
class TPrgCityLineForm : public TTableForm {
  Q_OBJECT
 public:
  // Builds its table only when the table menu asked for it (CityLineLayout); the instance made
  // at start-up builds nothing.
  TPrgCityLineForm(ProgrammingContext& context, QWidget* owner);
};
