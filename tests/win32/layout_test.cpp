// The form as the user sees it at the display's resolution. The run sets the resolution (see
// CMakeLists.txt: this program runs once at each of 96, 120, 144, 168 and 192 DPI, with Wine's
// own Tahoma standing in for the Windows dialog font): every caption is whole in its control,
// controls do not overlap, and the window fits the work area of the smallest screen it is made
// for at that resolution. The sizes are printed as figures for the guide.
#include <cstdio>
#include <string>
#include <vector>

#include "main_dialog_fixture.h"
#include "resources/resource_ids.h"
#include "settings/form.h"

namespace {

// The form unlocked, as with a controller connected, so that its check boxes show.
class LayoutTest : public MainDialogTest {
  protected:
    void SetUp() override {
        MainDialogTest::SetUp();
        set_form_lock(0);
    }
};

int display_dpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

int scaled(int pixels_at_96) {
    return MulDiv(pixels_at_96, display_dpi(), 96);
}

std::wstring class_name(HWND window) {
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    return name;
}

struct Child {
    HWND window;
    int id;
    std::wstring text;
    std::wstring kind; // "Static", "Edit", "Button" with its button style
    LONG style;
    RECT rect; // in the dialog's client coordinates
};

BOOL CALLBACK collect_child(HWND window, LPARAM param) {
    auto* children = reinterpret_cast<std::vector<Child>*>(param);
    Child child{
        window, GetDlgCtrlID(window), L"", class_name(window), GetWindowLongW(window, GWL_STYLE),
        {}};
    const int length = GetWindowTextLengthW(window);
    child.text.resize(static_cast<size_t>(length) + 1);
    GetWindowTextW(window, child.text.data(), length + 1);
    child.text.resize(static_cast<size_t>(length));
    GetWindowRect(window, &child.rect);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&child.rect), 2);
    children->push_back(child);
    return TRUE;
}

std::vector<Child> visible_children(HWND dialog) {
    std::vector<Child> all;
    EnumChildWindows(dialog, collect_child, reinterpret_cast<LPARAM>(&all));
    std::vector<Child> shown;
    for (const Child& child : all) {
        if ((child.style & WS_VISIBLE) != 0)
            shown.push_back(child);
    }
    return shown;
}

bool is_group_box(const Child& child) {
    return child.kind == L"Button" && (child.style & BS_TYPEMASK) == BS_GROUPBOX;
}

bool is_check_box(const Child& child) {
    return child.kind == L"Button" && (child.style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
}

// The width and height a control's caption takes in the control's own font.
SIZE caption_extent(const Child& child) {
    HDC dc = GetDC(child.window);
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(child.window, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font);
    SIZE extent{};
    GetTextExtentPoint32W(dc, child.text.c_str(), static_cast<int>(child.text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(child.window, dc);
    return extent;
}

// The room a control leaves its caption: a label its whole width; a check box its width less
// the box and the gap after it; a push button and a group box their width less their frame and
// the margins they keep around the text.
int caption_room(const Child& child) {
    const int width = child.rect.right - child.rect.left;
    if (is_check_box(child))
        return width - scaled(13) - scaled(4);
    if (is_group_box(child))
        return width - 2 * scaled(8);
    if (child.kind == L"Button")
        return width - 2 * scaled(4);
    return width;
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

TEST_F(LayoutTest, EveryCaptionIsWhole) {
    int checked = 0;
    for (const Child& child : visible_children(dialog)) {
        if (child.text.empty() || child.kind == L"Edit")
            continue;
        const SIZE extent = caption_extent(child);
        EXPECT_LE(extent.cx, caption_room(child))
            << "control " << child.id << " \"" << narrow(child.text) << "\" at " << display_dpi()
            << " DPI";
        if (child.kind == L"Static") {
            EXPECT_LE(extent.cy, child.rect.bottom - child.rect.top)
                << "control " << child.id << " at " << display_dpi() << " DPI";
        }
        ++checked;
    }
    EXPECT_GE(checked, 24 + 20 + 10); // the row labels, the column headings and the rest
}

// No two controls overlap, except a group box and what it holds; controls that touch in dialog
// units may share one row or column of pixels, as each one's position and size are rounded on
// their own. Every control is inside the window.
TEST_F(LayoutTest, ControlsDoNotOverlapAndStayInTheWindow) {
    RECT client{};
    GetClientRect(dialog, &client);
    const std::vector<Child> children = visible_children(dialog);
    for (size_t i = 0; i < children.size(); ++i) {
        const Child& a = children[i];
        EXPECT_TRUE(a.rect.left >= 0 && a.rect.top >= 0 && a.rect.right <= client.right &&
                    a.rect.bottom <= client.bottom)
            << "control " << a.id << " \"" << narrow(a.text) << "\" leaves the window";
        if (is_group_box(a))
            continue;
        for (size_t j = i + 1; j < children.size(); ++j) {
            const Child& b = children[j];
            RECT common{};
            if (!is_group_box(b) && IntersectRect(&common, &a.rect, &b.rect) &&
                common.right - common.left > 1 && common.bottom - common.top > 1) {
                ADD_FAILURE() << "controls " << a.id << " \"" << narrow(a.text) << "\" and " << b.id
                              << " \"" << narrow(b.text) << "\" overlap";
            }
        }
    }
}

// The smallest screen the window is made for at each resolution, as a work area: the screen less
// a taskbar 48 pixels high at 96 DPI (as tall as Windows makes it), scaled like everything else.
struct Screen {
    int dpi;
    int width, height; // the whole screen
    const char* what;
};

const Screen SCREENS[] = {
    {96, 1366, 768, "1366x768 at 100 %"},    {120, 1366, 768, "1366x768 at 125 %"},
    {144, 1920, 1080, "1920x1080 at 150 %"}, {168, 1920, 1080, "1920x1080 at 175 %"},
    {192, 2560, 1440, "2560x1440 at 200 %"},
};

TEST_F(LayoutTest, TheWindowFitsTheWorkAreaOfItsScreen) {
    RECT frame{};
    GetWindowRect(dialog, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    printf("window %dx%d pixels at %d DPI\n", width, height, display_dpi());
    RecordProperty("window", std::to_string(width) + "x" + std::to_string(height));
    for (const Screen& screen : SCREENS) {
        if (screen.dpi != display_dpi())
            continue;
        const int work_height = screen.height - MulDiv(48, screen.dpi, 96);
        EXPECT_LE(width, screen.width) << screen.what;
        EXPECT_LE(height, work_height) << screen.what;
    }
}

// Wherever it is shown, its caption bar is on the screen: here on the test's virtual display,
// smaller than the window at the higher resolutions.
TEST_F(LayoutTest, TheCaptionBarIsOnTheScreen) {
    RECT frame{};
    GetWindowRect(dialog, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &monitor));
    EXPECT_GE(frame.top, monitor.rcWork.top);
    EXPECT_GE(frame.left, monitor.rcWork.left);
    EXPECT_LE(frame.top + GetSystemMetrics(SM_CYCAPTION), monitor.rcWork.bottom);
}

} // namespace
