#pragma once

namespace chronvane {

// Which time message goes on the wire. Not stored: the controller asks the window
// at every send.
enum class Protocol {
    EseRealTimeClock,  // 12-byte text line, the default
    OstrelDateTime,    // six 8-byte binary packets
};

}  // namespace chronvane
