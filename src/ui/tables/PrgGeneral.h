#pragma once

#include "ui/tables/TableForm.h"

// The station-wide values of one half: the phone numbers of the three selectors in the basic
// ("Осн.") and additional ("Доп.") mode, and the distribution of city-line seizure. Tab moves
// along a row between the columns; the seizure row has no "Доп." cell.
class TPrgGeneralForm : public TTableForm {
  Q_OBJECT
 public:
  TPrgGeneralForm(ProgrammingContext& context, QWidget* owner);
};
