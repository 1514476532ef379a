#pragma once

#include <QDialog>

#include "core/editor/TableCycle.h"
#include "core/tables/TableDescriptors.h"
#include "ui/editor/KeyRouter.h"
#include "ui/editor/ViewService.h"
#include "ui/editor/WidgetCells.h"

class ImageAccess;
class OperatorUi;
class QLabel;
class QPushButton;

// What the programming windows are given: the operator, the station's image (never its link)
// and the editor's controller.
struct ProgrammingContext {
  OperatorUi& ui;
  ImageAccess& station;
  ViewControllerClass& controller;
};

// A programming window's caption, with the file in front when there is no station: window
// managers cut a long caption at its end.
QString SessionCaption(const ImageAccess& session, const QString& caption);

// A table window: created for one modal showing from the table menu and destroyed after it,
// which hands its edits to the station. From its creation to its first activation the busy
// cursor shows. It has no close box: Esc and "Выход" are the ways out. Every key of its cells
// goes through its key router to the table cycle, which decides them all.
class TTableForm : public QDialog {
  Q_OBJECT
 public:
  ~TTableForm() override;

  QLabel* TitleLabel = nullptr;
  QLabel* RowHeader = nullptr;
  QPushButton* HelpButton = nullptr;
  QPushButton* ExitButton = nullptr;

  void HelpButtonClick();
  void ExitButtonClick() { done(1); }

  int HelpTopic() const { return helpTopic_; }
  const RowMarks& Marks() const { return marks_; }
  int MarkCount() const { return markCount_; }

  // The layout of the service and access tables: row marks beside one or two blocks of check
  // boxes under their column headers.
  // How the columns of a byte table stand: eight headers per block, a cell under each.
  struct ColumnStyle {
    int columns;         // headers shown per block
    int step;            // between columns
    int cellShift;       // cells to the right of their header
    int blockGap;        // from the left block's last header to the right block's first
    int modeLabelShift;  // mode label to the right of its block's first header
  };
  // The service tables: a wide column "ОС1".."ДС8" per bit, its cell a little to the right.
  static constexpr ColumnStyle kServiceColumns{8, 37, 8, 2 * 37, 37};
  // The access tables: a narrow column per city line, its number over its cell.
  static constexpr ColumnStyle kAccessColumns{8, 21, 0, 2 * 21, 0};

  // Where the table's cells stand; what they are (rows, columns, regions) is the table's own.
  struct ByteTableLayout {
    ColumnStyle style;
    quint16 lastBit;  // cells per row - 1
    int buttonsTop;
  };

 protected:
  // A window created with build false (the city-line window made at start-up) only takes its
  // caption: no busy state, no cells, and nothing to commit.
  // The caption, heading and help topic are the table's; the options say how keys move.
  TTableForm(ProgrammingContext& context, QWidget* owner, TableId table,
             TableCycle::Options options, bool build = true);

  QLabel* AddLabel(const QString& text, int left, int top, int width, int height = kHeaderHeight);
  // "Помощь" (where the window has it) and "Выход" side by side.
  void AddButtons(int top, bool withHelp = true);
  void BuildRowMarks(QLabel* reference, int pitch, bool subscribers);
  void BuildByteTable(const ByteTableLayout& layout);
  // Loads the blocks and selects the first cell; the last step of a window's creation.
  void Start();
  void FitSize(int width, int height) { setFixedSize(width, height); }

  bool event(QEvent* event) override;
  // A close box that the window manager shows all the same does exactly what Esc does.
  void closeEvent(QCloseEvent* event) override;

  ProgrammingContext& context_;
  const TableDescriptor& table_;
  WidgetCells cells_;
  TableCycle cycle_;

  static constexpr int kLeft = 16;
  static constexpr int kModeTop = 36;
  static constexpr int kHeaderTop = 54;
  static constexpr int kHeaderHeight = 18;
  static constexpr int kButtonWidth = 100;
  static constexpr int kButtonHeight = 28;
  // The city-line service tables have at most eight rows.
  static constexpr int kCityLineButtonsTop = kHeaderTop + kHeaderHeight + 8 * 15 + 20;
  // Under the 24 subscriber rows; lower in the two-block access table, lower still in the
  // two-block service table, as those windows have always stood.
  static constexpr int kSubscriberButtonsTop = 430;
  static constexpr int kAccessPairButtonsTop = 450;
  static constexpr int kServicePairButtonsTop = 470;

  // The last bit of an access row: one column per city line of the station.
  static quint16 LastLine(const ProgrammingContext& context);

 private:
  KeyRouter router_;
  int helpTopic_;
  RowMarks marks_{};
  int markCount_ = 0;
  bool busy_;
  bool closing_ = false;
  bool marksPending_ = false;
};
