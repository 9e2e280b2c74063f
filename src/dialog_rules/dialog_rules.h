#pragma once

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "clock/clock_state.h"
#include "clock/message_log.h"
#include "core/port_count.h"
#include "formats/format_registry.h"
#include "resource.h"

// What both windows (the Qt one in src/ui, the Win32 one in src/win32ui) do alike
// and no toolkit decides: which control of the resource script stands for what,
// where a window goes, which system-menu entries stay greyed, what the program calls
// itself, the About box's Help button and whether its help pane is open. The layout
// itself is resources/chronvane32.rc and nothing else.
namespace chronvane::dialog {

// The main window's controls, by what they stand for. A fifth port, another
// format (src/formats/format_registry.h) or a longer log needs its control in the
// resource script and its id here; an array left short does not build (no id is 0).
inline constexpr std::array<int, portCount> portRadioIds{IDC_COM1_RADIO, IDC_COM2_RADIO,
                                                         IDC_COM3_RADIO, IDC_COM4_RADIO};
inline constexpr std::array<int, radioProtocols.size()> protocolRadioIds{IDC_ESE_RADIO,
                                                                       IDC_OSTREL_RADIO};
// Top (oldest) line first.
inline constexpr std::array<int, MessageLog::lineCount> logLineIds{IDC_LOG_LINE1, IDC_LOG_LINE2,
                                                                   IDC_LOG_LINE3, IDC_LOG_LINE4};
// The About box's buttons. OK is the system's IDOK.
inline constexpr int okButtonId = 1;
inline constexpr int helpButtonId = IDC_HELP_BUTTON;

namespace checks {

template <std::size_t n>
constexpr bool allSet(const std::array<int, n>& ids) {
    return std::ranges::none_of(ids, [](int id) { return id == 0; });
}

// A radio group is checked by its first and last id (CheckRadioButton), which
// clears every control numbered between them: the ids ascend, and no other
// control's id lies in that range.
template <std::size_t n>
constexpr bool ascending(const std::array<int, n>& ids) {
    return std::ranges::is_sorted(ids) && std::ranges::adjacent_find(ids) == ids.end();
}

constexpr auto mainWindowIds() {
    std::array<int, portCount + radioProtocols.size() + MessageLog::lineCount> ids{};
    auto out = std::ranges::copy(portRadioIds, ids.begin()).out;
    out = std::ranges::copy(protocolRadioIds, out).out;
    std::ranges::copy(logLineIds, out);
    return ids;
}

// The Help button shares the About box's numbering with nothing of the main
// window's, so that one id can never mean two controls to code that looks up both
// (the log lines run upwards from 1009 towards it).
constexpr bool distinct() {
    auto ids = mainWindowIds();
    std::ranges::sort(ids);
    return std::ranges::adjacent_find(ids) == ids.end() &&
           std::ranges::find(ids, helpButtonId) == ids.end() &&
           std::ranges::find(ids, okButtonId) == ids.end() && helpButtonId != okButtonId;
}

template <std::size_t n>
constexpr bool rangeHoldsOnlyItsGroup(const std::array<int, n>& group) {
    const auto ids = mainWindowIds();
    return std::ranges::all_of(ids, [&](int id) {
        return std::ranges::find(group, id) != group.end() || id < group.front() ||
               id > group.back();
    });
}

}  // namespace checks

static_assert(checks::allSet(portRadioIds) && checks::allSet(protocolRadioIds) &&
                  checks::allSet(logLineIds),
              "every port, protocol and log line has its control id");
static_assert(checks::distinct(), "no two controls share an id");
static_assert(checks::ascending(portRadioIds) && checks::rangeHoldsOnlyItsGroup(portRadioIds),
              "the port radios' id range holds them alone");
static_assert(checks::ascending(protocolRadioIds) &&
                  checks::rangeHoldsOnlyItsGroup(protocolRadioIds),
              "the protocol radios' id range holds them alone");

constexpr int protocolRadioId(Protocol protocol) {
    return protocolRadioIds[protocolIndex(protocol)];
}

// Positions in the system menu (Restore, Move, Size, Minimize, Maximize, ...) that
// stay greyed: Size and Maximize, since the window has a fixed size.
inline constexpr std::array<int, 2> greyedSystemMenuPositions{2, 4};

// One axis of a window's placement, in pixels.
struct Span {
    int start;
    int length;
};

// Where a window length long starts when centred over over, then pushed back inside
// area where it would stick out; the start of area wins when the window is longer
// than area. Halvings truncate, so results are pixel-for-pixel predictable.
constexpr int centredStart(Span over, int length, Span area) {
    const int centred = (over.start + over.start + over.length) / 2 - length / 2;
    return std::max(std::min(centred, area.start + area.length - length), area.start);
}

// What the program calls itself (message box captions): the executable's file name
// without directory and extension, "chronvane32" when that leaves nothing.
std::string applicationName(std::string_view executablePath);

// The main window's tooltip for the clock's state: its detail, as a sentence.
std::string clockStateTip(const ClockState& state);

// The About box's toggle, as it reads while the help pane is closed and open.
inline constexpr const char* helpClosedText = "Help >>";
inline constexpr const char* helpOpenText = "<< Help";
constexpr const char* helpButtonText(bool paneOpen) {
    return paneOpen ? helpOpenText : helpClosedText;
}

}  // namespace chronvane::dialog

namespace chronvane {

// Whether the About box's help pane is (or is to be) open. One value for the whole
// run, shared by every About box, false at start; it outlives each box, so the next
// box opens the way the last one was left. The main window's F1 sets it first.
extern bool helpExpanded;

}  // namespace chronvane
