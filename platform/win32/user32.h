// The Win32 window subset that Skyloom calls: window classes and window
// procedures, top-level windows and the child controls "button" (push button
// and checkbox), "Edit" and "ComboBox" (drop-down list), subclassing, the
// message queue, painting, and a small string-resource table.
//
// Threads. Every thread that creates a window or reads messages has its own
// message queue; a window belongs to the thread that created it and its
// window procedure runs only on that thread.
// - PostMessageW, PostQuitMessage (calling thread), InvalidateRect,
//   EnableWindow, ShowWindow, SetWindowTextW, GetWindowTextW and every query
//   (IsWindow, GetDlgItem, GetWindowRect, ...) may be called from any thread.
// - SendMessageW (and CheckDlgButton, IsDlgButtonChecked, which send) from
//   another thread is handed to the owner thread and waits until that thread
//   has processed it in GetMessageW, PeekMessageW or while it waits in a
//   SendMessageW of its own, as Win32 does. The caller therefore blocks while
//   the owner thread is blocked on something other than its message queue.
//   When the owner thread has ended the call returns 0 at once.
// - SetWindowTextW and GetWindowTextW from a thread that does not own the
//   window change or read the text directly (without calling the window
//   procedure), so they never wait for the owner thread. For the owner thread
//   they send WM_SETTEXT and WM_GETTEXT as usual.
// - DestroyWindow works only on the owner thread. When a thread ends, its
//   windows are gone (without messages) and its queue is closed.
//
// Top-level windows: the window rectangle (x, y, width, height given to
// CreateWindowExW) is in screen coordinates; a window with a caption
// (WS_CAPTION) has a frame of 8 pixels at the left, right and bottom and 31
// pixels at the top, so an 880 x 516 window has a client area of 864 x 477.
// Each top-level window draws into an image the size of its client area;
// child windows draw into the image of their top-level window, clipped to
// their rectangle, after their parent (a window without WS_CLIPCHILDREN
// invalidates the children beneath an invalidated area).
//
// Controls, as on Win32:
// - "Button": BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_CHECKBOX, BS_AUTOCHECKBOX.
//   A click sends WM_COMMAND (BN_CLICKED) to the parent; only an automatic
//   checkbox ticks itself. BM_SETCHECK never notifies.
// - "Edit" (single line): WM_CHAR inserts printable characters at the caret
//   and deletes with backspace (8); Enter and other control characters do
//   nothing. Typing notifies the parent with EN_CHANGE; WM_SETTEXT does not
//   notify and puts the caret at the start. A disabled or ES_READONLY field
//   ignores characters. Text wider than the field scrolls to keep the caret
//   visible (there is no width limit).
// - "ComboBox" (CBS_DROPDOWNLIST): CB_ADDSTRING, CB_INSERTSTRING,
//   CB_DELETESTRING, CB_RESETCONTENT, CB_GETCOUNT, CB_SETCURSEL (no
//   notification; an index outside the list clears the selection and returns
//   CB_ERR), CB_GETCURSEL, CB_GETLBTEXT, CB_GETLBTEXTLEN, CB_FINDSTRINGEXACT
//   and CB_SELECTSTRING (both without regard to case). WM_SETTEXT fails and
//   keeps the selection; WM_GETTEXT gives the selected entry. Only a user's
//   pick sends CBN_SELCHANGE. The closed box is 21 pixels high; the height
//   given at creation is kept as the height of its drop-down list.
// - Edit fields and checkboxes ask their parent for colours with
//   WM_CTLCOLOREDIT (enabled field) or WM_CTLCOLORSTATIC (checkbox, disabled
//   field) and fill their background with the brush it returns.
#pragma once

#include "platform/win32/gdi32.h"
#include "platform/win32/windef.h"

// ---------------------------------------------------------------- messages
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_CTLCOLOREDIT = 0x0133;
constexpr UINT WM_CTLCOLORBTN = 0x0135;
constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM MK_LBUTTON = 0x0001;

// ---------------------------------------------------------------- window styles
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;

constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

// Class styles.
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;

// ---------------------------------------------------------------- buttons
constexpr DWORD BS_PUSHBUTTON = 0x0000;
constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;
constexpr DWORD BS_CHECKBOX = 0x0002;
constexpr DWORD BS_AUTOCHECKBOX = 0x0003;
constexpr DWORD BS_TYPEMASK = 0x000F;
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BM_CLICK = 0x00F5;
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;
constexpr UINT BST_INDETERMINATE = 2;
constexpr WORD BN_CLICKED = 0;

// ---------------------------------------------------------------- edit fields
constexpr DWORD ES_AUTOHSCROLL = 0x0080;
constexpr DWORD ES_READONLY = 0x0800;
constexpr WORD EN_CHANGE = 0x0300;

// ---------------------------------------------------------------- combo boxes
constexpr DWORD CBS_SIMPLE = 0x0001;
constexpr DWORD CBS_DROPDOWN = 0x0002;
constexpr DWORD CBS_DROPDOWNLIST = 0x0003;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_DELETESTRING = 0x0144;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_INSERTSTRING = 0x014A;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_SELECTSTRING = 0x014D;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_FINDSTRINGEXACT = 0x0158;
constexpr LRESULT CB_OKAY = 0;
constexpr LRESULT CB_ERR = -1;
constexpr WORD CBN_SELCHANGE = 1;

// ---------------------------------------------------------------- window data
constexpr int GWLP_WNDPROC = -4;
constexpr int GWLP_HINSTANCE = -6;
constexpr int GWLP_HWNDPARENT = -8;
constexpr int GWLP_ID = -12;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GWLP_USERDATA = -21;

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;

// SetWindowPos.
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
inline const HWND HWND_TOP = nullptr;
inline const HWND HWND_BOTTOM = reinterpret_cast<HWND>(static_cast<std::intptr_t>(1));
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1));
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-2));

// PeekMessageW.
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// System colours.
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;

// Error codes of this part.
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_TLW_WITH_WSCHILD = 1406;
constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;
constexpr DWORD ERROR_WINDOW_OF_OTHER_THREAD = 1408;
constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr DWORD ERROR_CLASS_DOES_NOT_EXIST = 1411;
constexpr DWORD ERROR_CONTROL_ID_NOT_FOUND = 1421;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;

inline const LPCWSTR IDC_ARROW = MAKEINTRESOURCEW(32512);

// ---------------------------------------------------------------- structures
struct WNDCLASSEXW {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
  HICON hIconSm;
};

struct CREATESTRUCTW {
  void* lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCWSTR lpszName;
  LPCWSTR lpszClass;
  DWORD dwExStyle;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};

// ---------------------------------------------------------------- module and resources
// The program's own module handle (the argument is ignored).
HINSTANCE GetModuleHandleW(LPCWSTR moduleName);
// String resources of the program (101: the program's name). With a buffer
// size of 0 the buffer receives a read-only pointer to the text instead.
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);
// The program icon (resource 100) and the system cursors: opaque handles.
HICON LoadIconW(HINSTANCE instance, LPCWSTR name);
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);

// ---------------------------------------------------------------- classes and windows
// Class names compare without regard to case; an atom may stand for a name.
ATOM RegisterClassExW(const WNDCLASSEXW* windowClass);
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);

// Sends WM_NCCREATE and WM_CREATE (lParam: the CREATESTRUCTW, whose
// lpCreateParams is `param`) before it returns. For a child window, `menu`
// is the control id.
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);
// Sends WM_DESTROY to the window and then to its children, and WM_NCDESTROY.
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
HWND GetParent(HWND hwnd);
HWND GetDlgItem(HWND parent, int id);
int GetDlgCtrlID(HWND hwnd);

LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// GWLP_WNDPROC replaces the window procedure and returns the previous one.
LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrW(HWND hwnd, int index);

BOOL SetWindowTextW(HWND hwnd, LPCWSTR text);
int GetWindowTextW(HWND hwnd, LPWSTR buffer, int bufferMax);
int GetWindowTextLengthW(HWND hwnd);

// Returns TRUE when the window was disabled before.
BOOL EnableWindow(HWND hwnd, BOOL enable);
// The window's own state; input reaches a window only when its parents are
// enabled too.
BOOL IsWindowEnabled(HWND hwnd);
// Returns TRUE when the window was visible before.
BOOL ShowWindow(HWND hwnd, int command);
// TRUE when the window and all its parents have WS_VISIBLE.
BOOL IsWindowVisible(HWND hwnd);
BOOL IsIconic(HWND hwnd);
// Screen coordinates. A minimised window lies at (-32000, -32000).
BOOL GetWindowRect(HWND hwnd, RECT* rect);
BOOL GetClientRect(HWND hwnd, RECT* rect);
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);

HWND SetFocus(HWND hwnd);
HWND GetFocus();

BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);

COLORREF GetSysColor(int index);
HBRUSH GetSysColorBrush(int index);

// ---------------------------------------------------------------- painting
// rect nullptr: the whole client area. hwnd nullptr: every window.
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
BOOL ValidateRect(HWND hwnd, const RECT* rect);
// TRUE when the window has an update region; rect (optional) gets its bounds.
BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL erase);
// Sends WM_PAINT at once when the update region is not empty.
BOOL UpdateWindow(HWND hwnd);
// Validates the update region; sends WM_ERASEBKGND first when an erase is
// pending (fErase tells whether the window procedure left it undone).
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint);
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC hdc);

// ---------------------------------------------------------------- messages
BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
// Blocks until a message arrives; 0 for WM_QUIT, -1 on a bad window handle.
// Order: messages sent from other threads (processed inside), posted
// messages in posting order, WM_QUIT after PostQuitMessage, then WM_PAINT
// for a visible window of this thread with an update region.
BOOL GetMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
