#include "EditorWindow.h"

#include "BridgeLayouts.h"
#include "Exception.h"
#include "PngImage.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

const char kEditorUsage[] =
    "  --editor            open the plugin's editor in a window of this program\n"
    "  --editor-seconds <s> close the editor after s seconds (default: when its window is closed)\n"
    "  --screenshot <file.png> save a picture of the editor as drawn before it closes\n"
    "  --no-embed          show the bridge's editor window on its own instead of embedding it\n";

namespace {

const wchar_t kClassName[] = L"PelorinHostEditorFrame";
constexpr DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kAnswerMs = 10000;

bool gCloseRequested = false; // [window thread]

LRESULT CALLBACK FrameProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CLOSE) {
        // Destroying the frame would destroy the embedded window of the
        // bridge with it: the editor is closed and given back first.
        gCloseRequested = true;
        return 0;
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Lets the window work for ms milliseconds.
void PumpFor(DWORD ms)
{
    const DWORD start = GetTickCount();
    do {
        Pump();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

std::size_t EditorNotices(const TBridgeHost& host)
{
    std::size_t n = 0;
    for (const auto& code : host.ReceivedCodes())
        n += code.first == kCodeEditorState ? 1 : 0;
    return n;
}

// Sends the editor request and waits, with the window working, for the
// bridge's answer.
void RequestEditor(TBridgeHost& host, bool open)
{
    const std::size_t before = EditorNotices(host);
    host.Channel().Header()->EditorRequest = open ? 1 : 0;
    host.PostCode(kCodeEditorState, 0);
    const DWORD start = GetTickCount();
    while (EditorNotices(host) == before) {
        if (!host.Connected())
            throw Exception("the bridge closed while the editor was being " + std::string(open ? "opened" : "closed"));
        if (GetTickCount() - start > kAnswerMs)
            throw Exception("the bridge did not answer the editor request");
        PumpFor(10);
    }
}

HWND HeaderWindow(const THeaderBlock& header)
{
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(header.EditorWindow));
}

// The frame window whose client area is Width x Height.
void SizeFrame(HWND frame, int x, int y, int width, int height, bool show)
{
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, kFrameStyle, FALSE, 0);
    SetWindowPos(frame, nullptr, x, y, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | (show ? SWP_SHOWWINDOW : 0));
}

// The screen area as drawn, read from the screen (under Wine a picture of a
// window itself comes back empty for windows drawn by another process).
TRgbaImage CaptureScreen(const RECT& area)
{
    TRgbaImage image;
    image.Width = area.right - area.left;
    image.Height = area.bottom - area.top;
    if (image.Width <= 0 || image.Height <= 0)
        throw Exception("the editor has no area to take a picture of");
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = image.Width;
    info.bmiHeader.biHeight = -image.Height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    if (bitmap != nullptr && memory != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        copied = BitBlt(memory, 0, 0, image.Width, image.Height, screen, area.left, area.top, SRCCOPY) != 0;
        GdiFlush();
        if (copied) {
            const auto* bgrx = static_cast<const std::uint8_t*>(bits);
            image.Pixels.resize(static_cast<std::size_t>(image.Width) * image.Height * 4);
            for (std::size_t i = 0; i < image.Pixels.size(); i += 4) {
                image.Pixels[i] = bgrx[i + 2];
                image.Pixels[i + 1] = bgrx[i + 1];
                image.Pixels[i + 2] = bgrx[i];
                image.Pixels[i + 3] = 255;
            }
        }
        SelectObject(memory, old);
    }
    if (bitmap != nullptr)
        DeleteObject(bitmap);
    if (memory != nullptr)
        DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!copied)
        throw Exception("the screen could not be read");
    return image;
}

void WritePicture(const std::string& path, const RECT& area)
{
    const TRgbaImage image = CaptureScreen(area);
    const std::vector<std::uint8_t> png = EncodePng(image);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (png.empty() || !out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size())))
        throw Exception("cannot write " + path);
    std::printf("Screenshot: %s (%d x %d)\n", path.c_str(), image.Width, image.Height);
}

// The frame, destroyed on every way out. [window thread]
class TFrame {
public:
    TFrame()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &FrameProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = kClassName;
        RegisterClassW(&wc);
        Window.Reset(CreateWindowExW(0, kClassName, L"pelorin-host: plugin editor", kFrameStyle, CW_USEDEFAULT,
                                     CW_USEDEFAULT, 320, 200, nullptr, nullptr, wc.hInstance, nullptr));
        if (!Window)
            throw Exception("the editor window could not be created");
    }
    HWND Get() const { return Window.Get(); }

private:
    TOwnedWindow Window;
};

// The bridge's editor window in our frame (or shown on its own), given back
// hidden and unparented on every way out.
class TShownEditor {
public:
    TShownEditor(HWND editor, HWND frame, bool embed) : Editor(editor), Embed(embed)
    {
        Style = GetWindowLongPtrW(Editor, GWL_STYLE);
        if (Embed) {
            SetWindowLongPtrW(Editor, GWL_STYLE, (Style & ~static_cast<LONG_PTR>(WS_POPUP)) | WS_CHILD);
            SetParent(Editor, frame);
        }
    }
    ~TShownEditor()
    {
        ShowWindow(Editor, SW_HIDE);
        if (Embed) {
            SetParent(Editor, nullptr);
            SetWindowLongPtrW(Editor, GWL_STYLE, Style);
        }
    }
    TShownEditor(const TShownEditor&) = delete;
    TShownEditor& operator=(const TShownEditor&) = delete;

    void Place(int x, int y, int width, int height)
    {
        SetWindowPos(Editor, Embed ? nullptr : HWND_TOPMOST, x, y, width, height,
                     SWP_SHOWWINDOW | SWP_NOACTIVATE | (Embed ? SWP_NOZORDER : 0));
    }
    // Where it is drawn on the screen.
    RECT ScreenArea() const
    {
        RECT r{};
        GetClientRect(Editor, &r);
        MapWindowPoints(Editor, nullptr, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

private:
    HWND Editor;
    bool Embed;
    LONG_PTR Style = 0;
};

constexpr int kEditorX = 40, kEditorY = 40; // where an unembedded editor is shown

} // namespace

bool TakeEditorOption(int argc, char** argv, int& i, TEditorOptions& o, std::string& error)
{
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
        if (i + 1 >= argc) {
            error = "option " + a + " needs a value";
            return {};
        }
        return argv[++i];
    };
    if (a == "--editor") {
        o.Show = true;
    } else if (a == "--no-embed") {
        o.Embed = false;
    } else if (a == "--screenshot") {
        o.Screenshot = value();
        o.Show = true;
    } else if (a == "--editor-seconds") {
        const std::string v = value();
        if (!error.empty())
            return true;
        char* end = nullptr;
        const double d = std::strtod(v.c_str(), &end);
        if (end == v.c_str() || *end != '\0' || !(d > 0 && d <= 86400))
            error = "bad value \"" + v + "\" for " + a;
        o.Seconds = d;
        o.Show = true;
    } else {
        return false;
    }
    return true;
}

void RunEditor(TBridgeHost& host, const TEditorOptions& o) // [window thread]
{
    THeaderBlock& header = *host.Channel().Header();
    header.HostFlags |= 1; // the plugin may resize its editor
    TFrame frame;
    gCloseRequested = false;

    RequestEditor(host, true);
    const HWND editor = HeaderWindow(header);
    if (editor == nullptr) {
        std::printf("Editor: none (the plugin has no editor)\n");
        if (!o.Screenshot.empty())
            throw Exception("the plugin has no editor to take a picture of");
        return;
    }
    int width = static_cast<int>(header.EditorWidth), height = static_cast<int>(header.EditorHeight);
    DWORD pid = 0;
    GetWindowThreadProcessId(editor, &pid);
    {
        TShownEditor shown(editor, frame.Get(), o.Embed);
        if (o.Embed) {
            shown.Place(0, 0, width, height);
            SizeFrame(frame.Get(), kEditorX, kEditorY, width, height, true);
            std::printf("Editor: window 0x%llX of process %lu (%d x %d), embedded in 0x%llX (%s)\n",
                        static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(editor)),
                        static_cast<unsigned long>(pid), width, height,
                        static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(frame.Get())),
                        GetParent(editor) == frame.Get() ? "parent confirmed" : "NOT its parent");
        } else {
            shown.Place(kEditorX, kEditorY, width, height);
            SizeFrame(frame.Get(), kEditorX + width + 40, kEditorY, 240, 80, true);
            std::printf("Editor: window 0x%llX of process %lu (%d x %d), shown on its own\n",
                        static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(editor)),
                        static_cast<unsigned long>(pid), width, height);
        }
        std::fflush(stdout);

        // Follow the plugin's size until the window closes or the time is up.
        std::size_t seen = EditorNotices(host);
        const DWORD start = GetTickCount();
        while (!gCloseRequested && (o.Seconds <= 0 || GetTickCount() - start < o.Seconds * 1000.0)) {
            if (!host.Connected())
                throw Exception("the bridge closed while the editor was open");
            PumpFor(20);
            const std::size_t now = EditorNotices(host);
            if (now == seen)
                continue;
            seen = now;
            const int w = static_cast<int>(header.EditorWidth), h = static_cast<int>(header.EditorHeight);
            if (HeaderWindow(header) == nullptr || (w == width && h == height))
                continue;
            width = w;
            height = h;
            if (o.Embed) {
                shown.Place(0, 0, width, height);
                SizeFrame(frame.Get(), kEditorX, kEditorY, width, height, false);
            } else {
                shown.Place(kEditorX, kEditorY, width, height);
            }
            std::printf("Editor resized: %d x %d\n", width, height);
            std::fflush(stdout);
        }
        if (!o.Screenshot.empty()) {
            PumpFor(100);
            WritePicture(o.Screenshot, shown.ScreenArea());
        }
        RequestEditor(host, false);
    }
    std::printf("Editor closed%s: window %s\n", gCloseRequested ? " with its window" : "",
                header.EditorWindow == 0 ? "released" : "STILL PUBLISHED");
    std::fflush(stdout);
}
