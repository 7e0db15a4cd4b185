// "Test GL Editor": an effect whose editor renders with OpenGL, as many real
// editors do: a child window of its own class (with its own device context)
// in the host's window, a wgl context on it, frames drawn from a window
// timer and from effEditIdle, and everything released again at
// effEditClose. The editor is 300 x 180. The window's title names the GL
// renderer once a context is current ("GL: <renderer>"), or the step that
// failed ("GL failed: <step>").
// Parameter displays: 0 "Contexts" the live wgl contexts, 1 "Frames" frames
// drawn, 2 "Pixel" the colour read back from the middle of the last frame
// (RRGGBB), 3 "Opens" effEditOpen calls.

#include "FixtureCommon.h"

#include <windows.h>
#include <GL/gl.h>

#include <cstdio>
#include <cwchar>

namespace {

enum : VstInt32 { kContexts, kFrames, kPixel, kOpens, kParams };
const char* const kNames[kParams] = {"Contexts", "Frames", "Pixel", "Opens"};

constexpr int kWidth = 300, kHeight = 180;
constexpr UINT_PTR kTimer = 1;
const wchar_t kClassName[] = L"PelorinTestGLView";

AEffect gGLEffect;
ERect gRect = {0, 0, kHeight, kWidth};
HWND gWindow = nullptr;
HDC gDC = nullptr;
HGLRC gContext = nullptr;
int gContexts = 0, gFrames = 0, gOpens = 0;
unsigned gPixel = 0;

HINSTANCE Module()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&Module), &module);
    return module;
}

void Render()
{
    if (gContext == nullptr || !wglMakeCurrent(gDC, gContext))
        return;
    // A colour that moves a little with every frame, and a fixed middle.
    const float shade = static_cast<float>(gFrames % 16) / 64.0f;
    glViewport(0, 0, kWidth, kHeight);
    glClearColor(0.1f + shade, 0.8f, 0.3f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(kWidth / 2 - 20, kHeight / 2 - 20, 40, 40);
    glClearColor(1.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    unsigned char rgba[4] = {};
    glReadPixels(kWidth / 2, kHeight / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    gPixel = (static_cast<unsigned>(rgba[0]) << 16) | (static_cast<unsigned>(rgba[1]) << 8) | rgba[2];
    SwapBuffers(gDC);
    wglMakeCurrent(nullptr, nullptr);
    ++gFrames;
}

LRESULT CALLBACK ViewProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_TIMER:
        Render();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(wnd, &ps);
        EndPaint(wnd, &ps);
        Render();
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    default:
        return DefWindowProcW(wnd, msg, wParam, lParam);
    }
}

void Fail(const wchar_t* step)
{
    wchar_t title[128];
    std::swprintf(title, 128, L"GL failed: %ls", step);
    SetWindowTextW(gWindow, title);
}

void OpenEditor(HWND parent)
{
    WNDCLASSW wc{};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = &ViewProc;
    wc.hInstance = Module();
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);
    gWindow = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                              kWidth, kHeight, parent, nullptr, Module(), nullptr);
    if (gWindow == nullptr)
        return;
    gDC = GetDC(gWindow);
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 24;
    pfd.cAlphaBits = 8;
    const int format = ChoosePixelFormat(gDC, &pfd);
    if (format == 0 || !SetPixelFormat(gDC, format, &pfd))
        return Fail(L"pixel format");
    gContext = wglCreateContext(gDC);
    if (gContext == nullptr)
        return Fail(L"context");
    ++gContexts;
    if (!wglMakeCurrent(gDC, gContext))
        return Fail(L"make current");
    char title[160];
    std::snprintf(title, sizeof title, "GL: %s", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    wglMakeCurrent(nullptr, nullptr);
    SetWindowTextA(gWindow, title);
    Render();
    SetTimer(gWindow, kTimer, 30, nullptr);
}

void CloseEditor()
{
    if (gWindow != nullptr)
        KillTimer(gWindow, kTimer);
    if (gContext != nullptr) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(gContext);
        gContext = nullptr;
        --gContexts;
    }
    if (gDC != nullptr)
        ReleaseDC(gWindow, gDC);
    gDC = nullptr;
    if (gWindow != nullptr)
        DestroyWindow(gWindow);
    gWindow = nullptr;
    UnregisterClassW(kClassName, Module());
}

void Display(VstInt32 index, char* text)
{
    switch (index) {
    case kContexts: std::snprintf(text, kVstMaxParamStrLen + 1, "%d", gContexts); break;
    case kFrames: std::snprintf(text, kVstMaxParamStrLen + 1, "%d", gFrames); break;
    case kPixel: std::snprintf(text, kVstMaxParamStrLen + 1, "%06X", gPixel); break;
    default: std::snprintf(text, kVstMaxParamStrLen + 1, "%d", gOpens); break;
    }
}

VstIntPtr Dispatch(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr, float)
{
    switch (opcode) {
    case effEditGetRect:
        if (ptr != nullptr)
            *static_cast<ERect**>(ptr) = &gRect;
        return 1;
    case effEditOpen:
        ++gOpens;
        OpenEditor(static_cast<HWND>(ptr));
        return 1;
    case effEditClose:
        CloseEditor();
        return 0;
    case effEditIdle:
        Render();
        return 0;
    case effGetParamName:
        if (index >= 0 && index < kParams)
            CopyText(ptr, kNames[index], kVstMaxParamStrLen + 1);
        return 0;
    case effGetParamDisplay:
        if (index >= 0 && index < kParams)
            Display(index, static_cast<char*>(ptr));
        return 0;
    case effGetEffectName:
        CopyText(ptr, "Test GL Editor", kVstMaxEffectNameLen);
        return 1;
    default:
        return 0;
    }
}

} // namespace

FIXTURE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
    RecordEntry(host);
    InitEffect(gGLEffect, &Dispatch, 1, kParams, 2, 2, effFlagsCanReplacing | effFlagsHasEditor,
               VstFourCC('P', 't', 'G', 'L'));
    gEffect = &gGLEffect;
    return &gGLEffect;
}
