// A test tool, not part of the program: finds the program's dialog by its caption
// from another process and prints what a test needs to know about it, one
// "key=value" line each, so the end-to-end driver can check the window without any
// hook inside the program.
//   window_probe CAPTION
// Exit status 0 with the report when a visible dialog of that caption exists, 1
// when none does (the driver polls), 2 for a usage error.
#include <windows.h>

#include <array>
#include <cstdio>
#include <string>

#include "dialog_template_bytes.h"

namespace {

using chronvane::test::DialogHeader;
using chronvane::test::readDialogHeader;

std::string windowText(HWND window) {
    std::array<char, 512> text{};
    // WM_GETTEXT crosses processes; GetWindowText would not ask the other one.
    SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 2000, nullptr);
    return text.data();
}

std::string className(HWND window) {
    std::array<char, 64> name{};
    GetClassNameA(window, name.data(), static_cast<int>(name.size()));
    return name.data();
}

struct TemplateSearch {
    std::string caption;
    DialogHeader header;
    bool found = false;
};

BOOL CALLBACK searchTemplate(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR context) {
    auto* search = reinterpret_cast<TemplateSearch*>(context);
    HRSRC resource = FindResourceA(module, name, type);
    HGLOBAL loaded = resource == nullptr ? nullptr : LoadResource(module, resource);
    const auto* bytes = loaded == nullptr ? nullptr : static_cast<const BYTE*>(LockResource(loaded));
    if (bytes != nullptr) {
        // The font of the template captioned caption, when it names one.
        search->header = readDialogHeader(bytes);
        search->found = search->header.caption == search->caption &&
                        (search->header.style & DS_SETFONT) != 0;
    }
    return search->found ? FALSE : TRUE;
}

// The dialog's font, made here as the dialog manager makes it from the template in
// the dialog's program. The dialog's own handle is no use: WM_GETFONT does not
// cross processes under Wine.
class DialogFont {
public:
    DialogFont(HWND dialog, const std::string& caption) : m_context(GetDC(nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(dialog, &process);
        const HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
        std::array<char, MAX_PATH> path{};
        DWORD length = static_cast<DWORD>(path.size());
        const bool named = handle != nullptr &&
                           QueryFullProcessImageNameA(handle, 0, path.data(), &length) != 0;
        if (handle != nullptr) {
            CloseHandle(handle);
        }
        const HMODULE program =
            named ? LoadLibraryExA(path.data(), nullptr, LOAD_LIBRARY_AS_DATAFILE) : nullptr;
        TemplateSearch search{caption, {}, false};
        if (program != nullptr) {
            EnumResourceNamesA(program, MAKEINTRESOURCEA(5) /* RT_DIALOG */, searchTemplate,
                               reinterpret_cast<LONG_PTR>(&search));
            FreeLibrary(program);
        }
        if (!search.found) {
            return;
        }
        m_template = search.header;
        const int pixels = MulDiv(m_template.points, GetDeviceCaps(m_context, LOGPIXELSY), 72);
        m_font = CreateFontA(-pixels, 0, 0, 0, m_template.weight, m_template.italic, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             PROOF_QUALITY, FF_DONTCARE, m_template.face.c_str());
        if (m_font != nullptr) {
            m_previous = SelectObject(m_context, m_font);
        }
    }
    ~DialogFont() {
        if (m_previous != nullptr) {
            SelectObject(m_context, m_previous);
        }
        if (m_font != nullptr) {
            DeleteObject(m_font);
        }
        ReleaseDC(nullptr, m_context);
    }
    DialogFont(const DialogFont&) = delete;
    DialogFont& operator=(const DialogFont&) = delete;

    bool valid() const { return m_previous != nullptr; }
    HDC context() const { return m_context; }
    const DialogHeader& named() const { return m_template; }

    // What GDI chose for the name: the face, its cell height, whether a bitmap.
    std::string chosen() const {
        std::array<char, LF_FACESIZE> face{};
        GetTextFaceA(m_context, static_cast<int>(face.size()), face.data());
        TEXTMETRICA metrics{};
        GetTextMetricsA(m_context, &metrics);
        const char* kind = (metrics.tmPitchAndFamily & TMPF_TRUETYPE) != 0 ? "truetype"
                           : (metrics.tmPitchAndFamily & TMPF_VECTOR) != 0 ? "vector"
                                                                           : "bitmap";
        return std::string(face.data()) + " " + std::to_string(metrics.tmHeight) + " " + kind;
    }

    // The dialog's unit in pixels, horizontal, as the dialog manager reckons it
    // from the font: the mean width of the 52 letters, rounded.
    int horizontalUnit() const {
        static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        SIZE size{};
        GetTextExtentPoint32A(m_context, letters, 52, &size);
        return (size.cx / 26 + 1) / 2;
    }

private:
    HDC m_context;
    HFONT m_font = nullptr;
    HGDIOBJ m_previous = nullptr;
    DialogHeader m_template;
};

// The room a text control's text needs in the font, laid out as the control draws
// it (word-wrapped at the control's width unless its style says otherwise), and
// the room the control has: "needed-width needed-height width height" in pixels.
// Empty for a child that is not a text.
std::string textRoom(HWND control, const DialogFont& font) {
    if (className(control) != "Static") {
        return {};
    }
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    const LONG type = style & SS_TYPEMASK;
    const bool singleLine = type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP;
    if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && !singleLine) {
        return {};
    }
    RECT room{};
    GetClientRect(control, &room);
    UINT format = DT_CALCRECT | DT_EXPANDTABS | (singleLine ? DT_SINGLELINE : DT_WORDBREAK);
    if ((style & SS_NOPREFIX) != 0) {
        format |= DT_NOPREFIX;
    }
    const std::string text = windowText(control);
    RECT needed{0, 0, room.right, 0};
    DrawTextA(font.context(), text.c_str(), -1, &needed, format);
    return std::to_string(needed.right) + " " + std::to_string(needed.bottom) + " " +
           std::to_string(room.right) + " " + std::to_string(room.bottom);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: window_probe CAPTION\n", stderr);
        return 2;
    }
    const HWND dialog = FindWindowA("#32770", argv[1]);
    if (dialog == nullptr || !IsWindowVisible(dialog)) {
        return 1;
    }
    RECT frame{};
    GetWindowRect(dialog, &frame);
    std::printf("caption=%s\n", windowText(dialog).c_str());
    std::printf("rect=%ld %ld %ld %ld\n", frame.left, frame.top, frame.right, frame.bottom);
    std::printf("iconic=%d\n", IsIconic(dialog) ? 1 : 0);
    std::printf("enabled=%d\n", IsWindowEnabled(dialog) ? 1 : 0);
    // Keys typed on the X side reach the foreground window only.
    std::printf("foreground=%d\n", GetForegroundWindow() == dialog ? 1 : 0);
    for (int id = 1000; id <= 1013; ++id) {
        const HWND control = GetDlgItem(dialog, id);
        if (control == nullptr) {
            continue;
        }
        const LRESULT checked = SendMessageA(control, BM_GETCHECK, 0, 0);
        std::printf("control%d=%s\n", id, windowText(control).c_str());
        std::printf("checked%d=%d\n", id, static_cast<int>(checked));
    }
    const DialogFont font(dialog, argv[1]);
    if (font.valid()) {
        // The template's width scaled by this font's unit is the dialog's width
        // when the dialog got this font: the check that the measures below hold.
        RECT client{};
        GetClientRect(dialog, &client);
        std::printf("font=%s %d\n", font.named().face.c_str(), font.named().points);
        std::printf("face=%s\n", font.chosen().c_str());
        std::printf("width=%ld %d\n", client.right,
                    MulDiv(font.named().width, font.horizontalUnit(), 4));
    }
    // Every control in the order the dialog made them, which is the template's.
    int index = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT), ++index) {
        std::printf("child%d=%s\n", index, windowText(child).c_str());
        const std::string room = font.valid() ? textRoom(child, font) : std::string();
        if (!room.empty()) {
            std::printf("room%d=%s\n", index, room.c_str());
        }
    }
    return 0;
}
