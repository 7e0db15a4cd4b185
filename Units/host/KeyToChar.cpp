// The keyboard translation of the plugin abstraction. [Windows builds only]
#include "AudioPlug.h"

#include <windows.h>

#include <type_traits>

static_assert(std::is_same_v<TWindowHandle, HWND>, "TWindowHandle must be the platform's window handle");

// [main thread: reads the calling thread's keyboard state]
char KeyToChar(std::int32_t Key)
{
    BYTE state[256] = {};
    if (!GetKeyboardState(state))
        return 0;
    const UINT scanCode = MapVirtualKeyW(static_cast<UINT>(Key), MAPVK_VK_TO_VSC);
    WORD chars[2] = {};
    if (ToAscii(static_cast<UINT>(Key), scanCode, state, chars, 0) != 1)
        return 0;
    return static_cast<char>(chars[0] & 0xFF);
}
