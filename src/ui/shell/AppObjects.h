#pragma once

#include <memory>

struct Environment;
class StationCtrlClass;
class ViewControllerClass;

// The two objects that live for the whole run: the station object and the programming editor's
// controller. This is their one owner. The main window's creation makes them (the station
// object first, whose creation reads the settings file and opens the link) and its closing
// frees them (the controller first); every window that works on them is handed this owner and
// asks it for them when it needs them.
class AppObjects {
 public:
  AppObjects();
  ~AppObjects();
  AppObjects(const AppObjects&) = delete;
  AppObjects& operator=(const AppObjects&) = delete;

  // Makes the station object and then the controller. A station object whose creation failed
  // (the error has been shown) is none.
  void Create(Environment& env);
  // Frees the controller, then the station object.
  void Free();

  StationCtrlClass* Station() const { return station_.get(); }
  ViewControllerClass* Controller() const { return controller_.get(); }

 private:
  std::unique_ptr<StationCtrlClass> station_;
  std::unique_ptr<ViewControllerClass> controller_;
};
