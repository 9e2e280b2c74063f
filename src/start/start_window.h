#pragma once

#include <string>

#include "formats/format_registry.h"

namespace chronvane {

// The window operations the start sequence uses. The Qt window and the console
// both provide them.
class StartWindow {
  public:
    virtual ~StartWindow() = default;
    // Check one radio of the group, clearing the others.
    virtual void checkPortRadio(int number) = 0;
    virtual void checkProtocolRadio(Protocol protocol) = 0;
    // Queue a minimize that takes effect once the window's event loop runs.
    virtual void requestMinimize() = 0;
    // Start the repeating timer whose every expiry reaches the controller's onTick.
    virtual bool startTimer(int identifier, int periodMs) = 0;
    // Modal box: OK button, warning icon, the program's name as caption.
    virtual void showMessageBox(const std::string& text) = 0;
};

}  // namespace chronvane
