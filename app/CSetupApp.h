// CSetupApp: the application object. It runs the hub dialog modally and ends the
// program when the hub ends.
#pragma once

#include "winfx/WinApp.h"

class CSetupApp : public winfx::WinApp {
 protected:
  bool InitInstance() override;
};
