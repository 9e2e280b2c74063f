#include "clock_dialog.h"

#include <array>
#include <utility>

#include "about_dialog.h"
#include "dialog_rules/dialog_rules.h"
#include "start/start_sequence.h"
#include "dialog_binding.h"
#include "resource.h"
#include "window_placement.h"

namespace chronvane {
namespace {

// The window timer that checks a minimize asked for at start: every 100 ms, until
// the window has stayed minimized for a second, for at most 10 s (a loaded machine
// may take seconds to show the window).
constexpr UINT_PTR minimizeTimerId = 2;
constexpr UINT minimizeCheckMs = 100;
constexpr int minimizeChecks = 100;
constexpr int minimizeStableChecks = 10;

std::string applicationName() {
    std::array<char, MAX_PATH> path{};
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return dialog::applicationName(std::string_view(path.data(), length < path.size() ? length : 0));
}

}  // namespace

ClockDialog::ClockDialog(HINSTANCE instance, Clock& clock, DeviceMap devices)
    : m_instance(instance),
      m_windowThread(GetCurrentThreadId()),
      m_handOver([this] { resultsWaiting(); }),
      m_controller(clock, m_handOver, std::move(devices)),
      m_sendThread(m_controller) {}

ClockDialog::~ClockDialog() {
    stopTick();
}

void ClockDialog::setIcons(int resource) {
    // One resource, two sizes: the 32 x 32 image for Alt+Tab and the minimized
    // window, the system's small size for the caption and the taskbar.
    m_iconResource = resource;
    m_icon = LoadIconA(m_instance, MAKEINTRESOURCEA(resource));
    m_smallIcon = static_cast<HICON>(LoadImageA(m_instance, MAKEINTRESOURCEA(resource),
                                                IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    if (m_window != nullptr) {
        SendMessageA(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
        SendMessageA(m_window, WM_SETICON, ICON_SMALL,
                     reinterpret_cast<LPARAM>(m_smallIcon != nullptr ? m_smallIcon : m_icon));
        if (IsIconic(m_window)) {
            InvalidateRect(m_window, nullptr, TRUE);
        }
    }
}

void ClockDialog::showClockState(const ClockState& state) {
    int resource = IDI_LAMP_GREY;
    if (state.sync == ClockState::Sync::Synchronised) {
        resource = IDI_LAMP_GREEN;
    } else if (state.sync == ClockState::Sync::NotSynchronised) {
        resource = IDI_LAMP_AMBER;
    }
    // The icon only on a change: a new icon every second would make some taskbars
    // flash the button.
    if (resource != m_iconResource) {
        setIcons(resource);
    }
    std::string text = dialog::clockStateTip(state);
    if (m_tip != nullptr && text != m_tipText) {
        m_tipText = std::move(text);
        TOOLINFOA tool = tipTool();
        SendMessageA(m_tip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

TOOLINFOA ClockDialog::tipTool() {
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;  // understood by every comctl32
    tool.hwnd = m_window;
    tool.uId = reinterpret_cast<UINT_PTR>(m_window);
    tool.lpszText = m_tipText.data();
    return tool;
}

void ClockDialog::addClockStateTip() {
    // Over the window's own background, so that no control moves for it.
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);
    m_tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_window,
                            nullptr, m_instance, nullptr);
    if (m_tip == nullptr) {
        return;
    }
    m_tipText = "Clock state not read yet";
    TOOLINFOA tool = tipTool();
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    SendMessageA(m_tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    // A reason can be long (an unknown state says why): wrapped to the window's
    // width rather than one line running off past it.
    RECT client{};
    if (GetClientRect(m_window, &client)) {
        SendMessageA(m_tip, TTM_SETMAXTIPWIDTH, 0, client.right * 3 / 4);
    }
}

SystemError ClockDialog::run() {
    const INT_PTR result =
        DialogBoxParamA(m_instance, MAKEINTRESOURCEA(IDD_CHRONVANE32_DIALOG), nullptr,
                        boundDialogProcedure<ClockDialog>, reinterpret_cast<LPARAM>(this));
    return result == -1 ? lastSystemError() : SystemError{};
}

INT_PTR ClockDialog::handle(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            initialize();
            return TRUE;  // the dialog manager sets the focus
        case resultsMessage:
            showResults();
            return TRUE;
        case WM_TIMER:
            if (wParam == minimizeTimerId) {
                checkMinimized();
                return TRUE;
            }
            m_controller.onTick();
            return FALSE;  // and the default handling
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_SYSCOMMAND:
            // The About entry; the system keeps the low four bits for itself.
            if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
                showAbout();
                return TRUE;
            }
            return FALSE;
        case WM_HELP:
            helpExpanded = true;
            showAbout();
            return TRUE;
        case WM_PAINT:
            if (IsIconic(m_window)) {
                paintMinimized();
                return TRUE;
            }
            return FALSE;
        case WM_QUERYDRAGICON:
            // One of the few messages whose answer a dialog procedure returns itself.
            return reinterpret_cast<INT_PTR>(m_icon);
        case WM_DESTROY:
            stopTick();
            return FALSE;
        default:
            return FALSE;
    }
}

void ClockDialog::initialize() {
    // The first refresh: the placeholders in the template never show.
    showLog(m_controller.log().lines());
    addAboutToSystemMenu();
    setIcons(m_iconResource);
    addClockStateTip();
    // Before the start sequence, so that a message box it shows is centred where
    // the window will be.
    centreWindow(m_window, workAreaOf(m_window));
    runStartSequence(m_commandLine, *this, m_controller);
}

void ClockDialog::addAboutToSystemMenu() {
    const HMENU menu = GetSystemMenu(m_window, FALSE);
    if (menu == nullptr) {
        return;
    }
    std::array<char, 256> text{};
    if (LoadStringA(m_instance, IDS_ABOUTBOX, text.data(), static_cast<int>(text.size())) > 0) {
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, text.data());
    }
    for (const int position : dialog::greyedSystemMenuPositions) {
        EnableMenuItem(menu, static_cast<UINT>(position), MF_BYPOSITION | MF_GRAYED);
    }
}

void ClockDialog::onCommand(WORD id, WORD notification) {
    switch (id) {
        case IDOK:
        case IDCANCEL:
            EndDialog(m_window, id);
            return;
        default:
            break;
    }
    if (notification != BN_CLICKED) {
        return;
    }
    for (std::size_t i = 0; i < dialog::portRadioIds.size(); ++i) {
        if (id == dialog::portRadioIds.at(i)) {
            m_sendThread.selectPort(static_cast<int>(i) + 1);
        }
    }
    if (std::ranges::find(dialog::protocolRadioIds, id) != dialog::protocolRadioIds.end()) {
        m_handOver.setProtocol(selectedProtocol());
    }
}

void ClockDialog::paintMinimized() {
    PAINTSTRUCT paint{};
    const HDC context = BeginPaint(m_window, &paint);
    SendMessageA(m_window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client{};
    GetClientRect(m_window, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(context, x, y, m_icon);
    EndPaint(m_window, &paint);
}

void ClockDialog::showAbout() {
    AboutDialog box(m_instance);
    box.run(m_window);
}

Protocol ClockDialog::selectedProtocol() const {
    for (const Protocol protocol : radioProtocols) {
        if (m_window != nullptr &&
            IsDlgButtonChecked(m_window, dialog::protocolRadioId(protocol)) == BST_CHECKED) {
            return protocol;
        }
    }
    return defaultProtocol;
}

void ClockDialog::resultsWaiting() {
    // On the window's thread (the start sequence, a click while no send thread
    // runs) the results are shown at once, as they happen; the send thread posts.
    if (GetCurrentThreadId() == m_windowThread) {
        showResults();
    } else if (m_window != nullptr) {
        PostMessageA(m_window, resultsMessage, 0, 0);
    }
}

void ClockDialog::showResults() {
    // Taken off even without a window, so that nothing stays queued for one.
    for (const WindowHandOver::Result& result : m_handOver.takeResults()) {
        if (result.kind == WindowHandOver::Result::Kind::log) {
            showLog(result.lines);
        } else if (result.kind == WindowHandOver::Result::Kind::clockState) {
            showClockState(result.clockState);
        }
    }
}

void ClockDialog::showLog(const MessageLog::Lines& lines) {
    if (m_window == nullptr) {
        return;
    }
    for (std::size_t i = 0; i < dialog::logLineIds.size(); ++i) {
        SetDlgItemTextA(m_window, dialog::logLineIds.at(i), lines.at(i).c_str());
    }
}

void ClockDialog::checkPortRadio(int number) {
    const auto& ids = dialog::portRadioIds;
    if (number >= 1 && number <= portCount) {
        CheckRadioButton(m_window, ids.front(), ids.back(),
                         ids.at(static_cast<std::size_t>(number - 1)));
    }
}

void ClockDialog::checkProtocolRadio(Protocol protocol) {
    const auto& ids = dialog::protocolRadioIds;
    CheckRadioButton(m_window, ids.front(), ids.back(), dialog::protocolRadioId(protocol));
    m_handOver.setProtocol(protocol);
}

void ClockDialog::requestMinimize() {
    // Posted: it is handled once the dialog's loop runs, after the window is shown.
    PostMessageA(m_window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    // Windows honours that; Wine shows the dialog after handling it, restored. So
    // the window is minimized again once it has been shown, until it stays so.
    m_minimizeChecksLeft = minimizeChecks;
    m_minimizedChecks = 0;
    SetTimer(m_window, minimizeTimerId, minimizeCheckMs, nullptr);
}

void ClockDialog::checkMinimized() {
    // Minimized once is not enough: Wine has been seen to restore the window
    // after it had been minimized, as it finished showing it.
    m_minimizedChecks = IsIconic(m_window) ? m_minimizedChecks + 1 : 0;
    if (m_minimizedChecks >= minimizeStableChecks || --m_minimizeChecksLeft <= 0) {
        KillTimer(m_window, minimizeTimerId);
        return;
    }
    if (m_minimizedChecks == 0 && IsWindowVisible(m_window)) {
        // The system menu's command, as the operator's click would send it: Wine
        // acts on it once the window is shown, where ShowWindow has no effect.
        PostMessageA(m_window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    }
}

bool ClockDialog::startTimer(int identifier, int periodMs) {
    stopTick();
    if (m_sendThread.start(periodMs)) {
        return true;
    }
    // A window timer drifts against the change of second, but it keeps the clock
    // going where no waitable timer can be had.
    m_windowTimer =
        SetTimer(m_window, static_cast<UINT_PTR>(identifier), static_cast<UINT>(periodMs), nullptr);
    return m_windowTimer != 0;
}

void ClockDialog::stopTick() {
    // A send under way ends first; the port stays open until the object goes.
    m_sendThread.stop();
    if (m_windowTimer != 0) {
        KillTimer(m_window, m_windowTimer);
        m_windowTimer = 0;
    }
}

void ClockDialog::showMessageBox(const std::string& text) {
    MessageBoxA(m_window, text.c_str(), applicationName().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace chronvane
