#pragma once

class TMainForm;
class TTuneForm;
class TThermometerForm;
class TTarificationForm;
class TFileViewerForm;
class TProgrammingForm;
class TSplashProgrForm;
class TPrgCityLineForm;
class TProgrSwitchForm;

// The application's permanent windows, created once at start-up and shown and hidden from
// then on. Windows reach each other through here.
struct AppForms {
  TMainForm* main = nullptr;
  TTarificationForm* tarification = nullptr;
  TTuneForm* tune = nullptr;
  TThermometerForm* thermometer = nullptr;
  TFileViewerForm* viewer = nullptr;
  TProgrammingForm* programming = nullptr;
  TSplashProgrForm* splash = nullptr;
  TPrgCityLineForm* cityLine = nullptr;
  TProgrSwitchForm* progrSwitch = nullptr;
};
