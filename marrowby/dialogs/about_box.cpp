#include "marrowby/dialogs/about_box.h"

#include "marrowby/resources/resource.h"

namespace {

HWND g_aboutBox;

INT_PTR CALLBACK AboutBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM /*lParam*/)
{
    switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND:
        // Esc and the close box arrive as IDCANCEL: they close it as OK does.
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            DestroyWindow(box);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY: g_aboutBox = nullptr; return FALSE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        // The texts are drawn on white too, not only the box.
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    default: return FALSE;
    }
}

HINSTANCE ResourceInstance(HWND owner)
{
    if (owner) return reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE));
    return GetModuleHandleA(nullptr);
}

}  // namespace

int ShowAboutBox(HWND owner)
{
    if (g_aboutBox) return 1;
    HWND box = CreateDialogParamA(ResourceInstance(owner), MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, AboutBoxProc, 0);
    if (!box) return 0;
    g_aboutBox = box;
    ShowWindow(box, SW_SHOW);
    return 0;
}

HWND AboutBoxWindow()
{
    return g_aboutBox;
}

bool HandleAboutBoxMessage(MSG* message)
{
    return g_aboutBox && IsDialogMessageA(g_aboutBox, message);
}
