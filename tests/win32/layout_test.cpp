// The form as the user sees it at the display's resolution: CMakeLists.txt runs this program once
// at each of 96, 120, 144, 168 and 192 DPI, with Wine's own Tahoma standing in for the Windows
// dialog font. The window's size is printed as a figure for the guide.
#include <cstdio>
#include <string>
#include <vector>

#include "main_dialog_fixture.h"
#include "settings/form.h"

namespace {

// The form unlocked, as with a controller connected, so that its check boxes show.
class LayoutTest : public MainDialogTest {
  protected:
    void SetUp() override {
        MainDialogTest::SetUp();
        set_form_lock(0);
        HDC screen = GetDC(nullptr);
        dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    int scaled(int pixels_at_96) const { return MulDiv(pixels_at_96, dpi, 96); }
    int dpi = 0;
};

struct Child {
    HWND window;
    std::wstring text;
    std::wstring kind; // the window class: "Static", "Edit", "Button"
    LONG button;       // a button's BS_TYPEMASK style; -1 for other controls
    RECT rect;         // in the dialog's client coordinates
};

// The controls shown (by their style: the dialog itself is hidden).
std::vector<Child> visible_children(HWND dialog) {
    std::vector<Child> shown;
    auto collect = [](HWND window, LPARAM param) -> BOOL {
        wchar_t kind[32] = {}, text[256] = {};
        GetClassNameW(window, kind, 32);
        GetWindowTextW(window, text, 256);
        const LONG style = GetWindowLongW(window, GWL_STYLE);
        Child child{
            window, text, kind, std::wstring(kind) == L"Button" ? style & BS_TYPEMASK : -1, {}};
        GetWindowRect(window, &child.rect);
        MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&child.rect), 2);
        if ((style & WS_VISIBLE) != 0)
            reinterpret_cast<std::vector<Child>*>(param)->push_back(child);
        return TRUE;
    };
    EnumChildWindows(dialog, collect, reinterpret_cast<LPARAM>(&shown));
    return shown;
}

// Every caption is whole in its control. The room a control leaves it: a label its whole width; a
// check box its width less the box and the gap after it; a push button and a group box their
// width less their frame and the margins they keep around the text. No two controls overlap,
// except a group box and what it holds; controls that touch in dialog units may share one row or
// column of pixels, as each one's position and size are rounded on their own. Every control is
// inside the window.
TEST_F(LayoutTest, CaptionsAreWholeAndControlsNeitherOverlapNorLeaveTheWindow) {
    RECT client{};
    GetClientRect(dialog, &client);
    const std::vector<Child> children = visible_children(dialog);
    int captions = 0;
    for (size_t i = 0; i < children.size(); ++i) {
        const Child& a = children[i];
        EXPECT_TRUE(a.rect.left >= 0 && a.rect.top >= 0 && a.rect.right <= client.right &&
                    a.rect.bottom <= client.bottom)
            << "\"" << a.text << "\" leaves the window";
        for (size_t j = i + 1; j < children.size() && a.button != BS_GROUPBOX; ++j) {
            const Child& b = children[j];
            RECT common{};
            if (b.button != BS_GROUPBOX && IntersectRect(&common, &a.rect, &b.rect) &&
                common.right - common.left > 1 && common.bottom - common.top > 1)
                ADD_FAILURE() << "\"" << a.text << "\" and \"" << b.text << "\" overlap";
        }
        if (a.text.empty() || a.kind == L"Edit")
            continue;
        const int width = a.rect.right - a.rect.left;
        const int room = a.button == BS_AUTOCHECKBOX ? width - scaled(13) - scaled(4)
                         : a.button == BS_GROUPBOX   ? width - 2 * scaled(8)
                         : a.button >= 0             ? width - 2 * scaled(4)
                                                     : width;
        HDC dc = GetDC(a.window); // the caption's extent in the control's own font
        HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(a.window, WM_GETFONT, 0, 0)));
        SIZE extent{};
        GetTextExtentPoint32W(dc, a.text.c_str(), static_cast<int>(a.text.size()), &extent);
        SelectObject(dc, old);
        ReleaseDC(a.window, dc);
        EXPECT_LE(extent.cx, room) << "\"" << a.text << "\" at " << dpi << " DPI";
        if (a.kind == L"Static") {
            EXPECT_LE(extent.cy, a.rect.bottom - a.rect.top) << "\"" << a.text << "\"";
        }
        ++captions;
    }
    EXPECT_GE(captions, 24 + 20 + 10); // the row labels, the column headings and the rest
}

// The window fits the work area of the smallest screen it is made for at each resolution: the
// screen less a taskbar 48 pixels high at 96 DPI (as tall as Windows makes it), scaled like
// everything else. Wherever it is shown, its caption bar is on the screen: here on the test's
// virtual display, smaller than the window at the higher resolutions.
TEST_F(LayoutTest, TheWindowFitsItsScreenAndItsCaptionBarIsOnIt) {
    // The resolution, the screen's width and its height.
    const int screens[][3] = {
        {96, 1366, 768}, {120, 1366, 768}, {144, 1920, 1080}, {168, 1920, 1080}, {192, 2560, 1440}};
    RECT frame{};
    GetWindowRect(dialog, &frame);
    printf("window %ldx%ld pixels at %d DPI\n", frame.right - frame.left, frame.bottom - frame.top,
           dpi);
    for (const auto& screen : screens) {
        if (screen[0] == dpi) {
            EXPECT_LE(frame.right - frame.left, screen[1]) << dpi << " DPI";
            EXPECT_LE(frame.bottom - frame.top, screen[2] - scaled(48)) << dpi << " DPI";
        }
    }
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &monitor));
    EXPECT_GE(frame.top, monitor.rcWork.top);
    EXPECT_GE(frame.left, monitor.rcWork.left);
    EXPECT_LE(frame.top + GetSystemMetrics(SM_CYCAPTION), monitor.rcWork.bottom);
}

} // namespace
