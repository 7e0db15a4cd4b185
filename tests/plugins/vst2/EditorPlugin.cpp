// "Test Editor": an effect with a GDI editor, as plugins without a toolkit
// build one. Its editor window paints a green band over a red left and a blue
// right half, reports its size through effEditGetRect (320 x 200 at first)
// and changes it on request, the two ways real editors do:
//   parameter 0 "Grow"    at the next effEditIdle the editor asks the host
//                         for 400 x 260 with audioMasterSizeWindow and takes
//                         that size when the host agrees;
//   parameter 1 "Resize"  at the next effEditIdle the editor makes itself and
//                         the window it lives in 360 x 240 and tells the host
//                         with audioMasterIdle, from inside the idle call;
//   parameter 5 "Zero"    effEditGetRect reports an empty rectangle;
//   parameter 6 "Ask"     every effEditIdle asks the host for idle time with
//                         audioMasterIdle, as some older editors do;
//   parameter 8 "Big"     effEditOpen asks for 500 x 300 with
//                         audioMasterSizeWindow while the editor opens.
// Parameters 2 to 4 count effEditIdle, effEditOpen and effEditClose in their
// display texts, so that a host across the bridge can read them. Like editors
// that accept dropped files, the window registers itself as a drop target
// (which needs OLE set up on the thread); parameter 7 "Drop" shows the
// result of that registration ("ok" or the error code).
// Built with EDITOR_RESIZES_ITSELF (vst2_editor_resizing.dll) the editor
// does both size changes by itself, for hosts that cannot set parameters:
// it grows at its 10th effEditIdle and resizes itself at its 20th.

#include "FixtureCommon.h"

#include <windows.h>
#include <ole2.h>

#include <cstdio>

namespace {

enum : VstInt32 { kGrow, kResize, kIdles, kOpens, kCloses, kZero, kAsk, kDrop, kBig, kParams };
const char* const kNames[kParams] = {"Grow", "Resize", "Idles", "Opens", "Closes", "Zero", "Ask", "Drop", "Big"};

constexpr int kBand = 40; // height of the green band
const wchar_t kClassName[] = L"PelorinTestEditor";

AEffect gEditorEffect;
float gValues[kParams] = {};
int gIdles = 0, gOpens = 0, gCloses = 0;
ERect gRect = {0, 0, 200, 320};
HWND gWindow = nullptr;
HRESULT gDropResult = E_FAIL;
bool gDropRegistered = false;

// A drop target that refuses everything.
class TDropTarget : public IDropTarget {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (out == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
            *out = static_cast<IDropTarget*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; } // static object
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override
    {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override
    {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override
    {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
} gDropTarget;

HINSTANCE Module()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&Module), &module);
    return module;
}

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF color)
{
    RECT r{left, top, right, bottom};
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

LRESULT CALLBACK EditorProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(wnd, &ps);
        RECT client;
        GetClientRect(wnd, &client);
        Fill(dc, 0, 0, client.right, kBand, RGB(0, 255, 0));
        Fill(dc, 0, kBand, client.right / 2, client.bottom, RGB(255, 0, 0));
        Fill(dc, client.right / 2, kBand, client.right, client.bottom, RGB(0, 0, 255));
        EndPaint(wnd, &ps);
        return 0;
    }
    if (msg == WM_ERASEBKGND)
        return 1;
    return DefWindowProcW(wnd, msg, wParam, lParam);
}


void SetSize(int width, int height)
{
    gRect = {0, 0, static_cast<std::int16_t>(height), static_cast<std::int16_t>(width)};
}

void OpenEditor(HWND parent)
{
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW; // the halves move with the width
    wc.lpfnWndProc = &EditorProc;
    wc.hInstance = Module();
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);
    gWindow = CreateWindowExW(0, kClassName, L"Test Editor", WS_CHILD | WS_VISIBLE, 0, 0, gRect.right - gRect.left,
                              gRect.bottom - gRect.top, parent, nullptr, Module(), nullptr);
    gDropResult = RegisterDragDrop(gWindow, &gDropTarget);
    gDropRegistered = SUCCEEDED(gDropResult);
    if (gValues[kBig] >= 0.5f && CallHost(audioMasterSizeWindow, 500, 300) == 1) {
        SetSize(500, 300);
        SetWindowPos(gWindow, nullptr, 0, 0, 500, 300, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    }
}

void CloseEditor()
{
    if (gDropRegistered)
        RevokeDragDrop(gWindow);
    gDropRegistered = false;
    if (gWindow != nullptr)
        DestroyWindow(gWindow);
    gWindow = nullptr;
    UnregisterClassW(kClassName, Module());
}

void EditorIdle()
{
    ++gIdles;
#if defined(EDITOR_RESIZES_ITSELF)
    if (gIdles == 10)
        gValues[kGrow] = 1.0f;
    if (gIdles == 20)
        gValues[kResize] = 1.0f;
#endif
    if (gValues[kGrow] >= 0.5f) {
        gValues[kGrow] = 0.0f;
        if (CallHost(audioMasterSizeWindow, 400, 260) == 1) {
            SetSize(400, 260);
            SetWindowPos(gWindow, nullptr, 0, 0, 400, 260, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
        }
    }
    if (gValues[kResize] >= 0.5f) {
        gValues[kResize] = 0.0f;
        SetSize(360, 240);
        SetWindowPos(gWindow, nullptr, 0, 0, 360, 240, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
        if (HWND parent = GetParent(gWindow))
            SetWindowPos(parent, nullptr, 0, 0, 360, 240, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
        CallHost(audioMasterIdle);
    }
    if (gValues[kAsk] >= 0.5f)
        CallHost(audioMasterIdle);
}

void Display(VstInt32 index, char* text)
{
    const int counts[] = {0, 0, gIdles, gOpens, gCloses, 0, 0, 0, 0};
    if (index == kDrop && SUCCEEDED(gDropResult))
        std::snprintf(text, kVstMaxParamStrLen + 1, "ok");
    else if (index == kDrop)
        std::snprintf(text, kVstMaxParamStrLen + 1, "%08lX", static_cast<unsigned long>(gDropResult));
    else if (index == kIdles || index == kOpens || index == kCloses)
        std::snprintf(text, kVstMaxParamStrLen + 1, "%d", counts[index]);
    else
        std::snprintf(text, kVstMaxParamStrLen + 1, "%s", gValues[index] >= 0.5f ? "On" : "Off");
}

VstIntPtr Dispatch(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr, float)
{
    switch (opcode) {
    case effEditGetRect: {
        static ERect empty = {0, 0, 0, 0};
        if (ptr != nullptr)
            *static_cast<ERect**>(ptr) = gValues[kZero] >= 0.5f ? &empty : &gRect;
        return 1;
    }
    case effEditOpen:
        ++gOpens;
        OpenEditor(static_cast<HWND>(ptr));
        return 1;
    case effEditClose:
        ++gCloses;
        CloseEditor();
        return 0;
    case effEditIdle:
        EditorIdle();
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
        CopyText(ptr, "Test Editor", kVstMaxEffectNameLen);
        return 1;
    case effGetPlugCategory:
        return kPlugCategEffect;
    default:
        return 0;
    }
}

void VSTCALL SetParameter(AEffect*, VstInt32 index, float value)
{
    if (index >= 0 && index < kParams)
        gValues[index] = value;
}

float VSTCALL GetParameter(AEffect*, VstInt32 index)
{
    return index >= 0 && index < kParams ? gValues[index] : 0.0f;
}

} // namespace

FIXTURE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
    RecordEntry(host);
    InitEffect(gEditorEffect, &Dispatch, 1, kParams, 2, 2, effFlagsCanReplacing | effFlagsHasEditor,
               VstFourCC('P', 't', 'E', 'd'));
    gEditorEffect.setParameter = &SetParameter;
    gEditorEffect.getParameter = &GetParameter;
    gEffect = &gEditorEffect;
    return &gEditorEffect;
}
