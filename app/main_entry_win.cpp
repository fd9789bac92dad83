// Process entry: GDI+, the main window, the command-line file, the loop.
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>

#include <algorithm>
#include <cwchar>
namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus
#include <gdiplus.h>
#include <shellapi.h>

#include "app/resource.h"
#include "app/text_view.h"

// The application object: built before wWinMain runs, destroyed after it returns.
TextView theApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand) {
    Gdiplus::GdiplusStartupInput gdiplusInput;  // version 1, no debug callback
    ULONG_PTR gdiplusToken = 0;
    Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr);
    // The About box's SysLink lives in the common controls.
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LINK_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    HWND w = theApp.CreateMainWindow(instance);
    if (!w) {
        // Nothing can be shown: say why to a debugger and end as failed.
        wchar_t why[96];
        swprintf(why, 96, L"tomeview: the main window could not be created (error %lu)\n", GetLastError());
        OutputDebugStringW(why);
        return 1;
    }
    ShowWindow(w, showCommand);
    UpdateWindow(w);
    theApp.EnableCommands(false, false);
    theApp.OpenFromCommandLine(GetCommandLineW());
    DragAcceptFiles(w, TRUE);
    // Closing the window during the command-line open takes effect now.
    theApp.FinishDeferredClose();
    // GDI+ stays up until the process ends: the application object's drawing
    // surface still holds a GDI+ graphics object when wWinMain returns.
    return RunMessageLoop(theApp);
}
