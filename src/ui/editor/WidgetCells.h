#pragma once

#include "core/editor/CellHost.h"

class KeyRouter;
class QWidget;

// Makes the blocks' cells as widgets on a table window: the window owns them (they are its
// children and go with it), and the window's key router takes all their keys.
class WidgetCells : public CellHost {
 public:
  WidgetCells(QWidget* window, ViewControllerClass& controller, ImageAccess& station,
              OperatorUi& ui, KeyRouter& router)
      : window_(window), controller_(controller), station_(station), ui_(ui), router_(router) {}

  ViewControllerClass& Controller() override { return controller_; }
  ImageAccess& Station() override { return station_; }
  OperatorUi& Ui() override { return ui_; }

  CellView* NewBitCell(quint16 id, int left, int top) override;
  CellView* NewIntCell(quint16 id, int left, int top, quint16 digits) override;
  CellView* NewCLineCell(quint16 column, quint16 row, int left, int top) override;

 private:
  void Place(QWidget* cell, int number, int left, int top, int width, int height);

  QWidget* window_;
  ViewControllerClass& controller_;
  ImageAccess& station_;
  OperatorUi& ui_;
  KeyRouter& router_;
};
