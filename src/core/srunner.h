#pragma once
// The web server's probe: whether its main window is on the desktop, and where its launcher
// lives (the component tree reads the path to find the installed server).
#include <string>

#include "platform/Desktop.h"

class TServerRunner {
  public:
    TServerRunner(std::string launcherPath, platform::Desktop& desktop);

    // Looks for the server's window now and overwrites Running, StatusR and ServerWindow.
    void Refresh();

    std::string LauncherPath;
    std::string SecondText;  // kept for the record layout; nothing sets or reads it
    std::string Port = "8080";
    bool Running = false;
    bool StatusR = false;  // the window's status line begins with a capital R
    platform::WindowId ServerWindow = 0;

  private:
    platform::Desktop* desktop_;  // not owned; outlives the runner
};
