#pragma once

#include <QAbstractListModel>
#include <QWidget>
#include <memory>

#include "core/tariff/RecordViewer.h"
#include "ui/tariff/PrinterOutput.h"

struct Environment;
class QGroupBox;
class QLabel;
class QListView;
class QPushButton;

// Columns of the memo's lines, under the heading labels (which stand two characters in).
inline const QList<int> kMemoColumns = {17, 25, 33, 42, 61};

// The shown lines for the memo. Only the lines on screen are ever turned into text, so a month
// of a million calls shows as fast as a dozen.
class ShownLinesModel : public QAbstractListModel {
  Q_OBJECT
 public:
  explicit ShownLinesModel(const RecordViewer& viewer, QObject* parent = nullptr)
      : QAbstractListModel(parent), viewer_(viewer) {}
  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  void Refresh() {
    beginResetModel();
    endResetModel();
  }

 private:
  const RecordViewer& viewer_;
};

// The record viewer window: the loaded records one line each under two heading lines, the sort,
// selection and print buttons.
class TFileViewerForm : public QWidget {
  Q_OBJECT
 public:
  explicit TFileViewerForm(Environment& env, QWidget* parent = nullptr);
  ~TFileViewerForm() override;

  bool LoadRecords(int month, int day, int subscriberChoice);
  RecordViewer& Viewer() { return viewer_; }

  QLabel* Label1;
  QLabel* Label2;
  QListView* MemoWin;
  QGroupBox* GroupBox1;
  QPushButton* SortAbonentButton;
  QPushButton* SortDurationButton;
  QPushButton* SortGLButton;
  QGroupBox* GroupBox2;
  QPushButton* SelectPhoneButton;
  QPushButton* SelectDurationButton;
  QPushButton* SelectAllButton;
  QPushButton* Print1Button;
  QPushButton* Print2Button;
  QPushButton* ExitButton;

  static constexpr int kHelpTopic = 160;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPushButton* AddButton(const QString& caption, QWidget* parent, void (RecordViewer::*action)());
  void CopyShownLines();

  Environment& env_;
  QtPrinterOutputFactory printers_;
  RecordViewer viewer_;
  ShownLinesModel* model_;
};
