#pragma once
// Window messages, key codes and input state of the windowing layer.

#include <cstdint>

#include "platform/ui/component.h"

struct TMessage {
  uint32_t Msg = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
  intptr_t Result = 0;

  uint16_t WParamLo() const { return static_cast<uint16_t>(WParam & 0xFFFF); }
  uint16_t WParamHi() const { return static_cast<uint16_t>((WParam >> 16) & 0xFFFF); }
  uint16_t LParamLo() const { return static_cast<uint16_t>(static_cast<uintptr_t>(LParam) & 0xFFFF); }
  uint16_t LParamHi() const { return static_cast<uint16_t>((static_cast<uintptr_t>(LParam) >> 16) & 0xFFFF); }
  // Signed client coordinates packed in LParam by mouse messages.
  int16_t XPos() const { return static_cast<int16_t>(LParamLo()); }
  int16_t YPos() const { return static_cast<int16_t>(LParamHi()); }
};

inline constexpr intptr_t MakeLParam(int lo, int hi) {
  return static_cast<intptr_t>(static_cast<uint32_t>((static_cast<uint16_t>(lo)) |
                                                     (static_cast<uint32_t>(static_cast<uint16_t>(hi)) << 16)));
}
inline constexpr uintptr_t MakeWParam(int lo, int hi) {
  return static_cast<uintptr_t>(MakeLParam(lo, hi)) & 0xFFFFFFFFu;
}

// Window messages.
inline constexpr uint32_t WM_NULL = 0x0000;
inline constexpr uint32_t WM_CREATE = 0x0001;
inline constexpr uint32_t WM_DESTROY = 0x0002;
inline constexpr uint32_t WM_MOVE = 0x0003;
inline constexpr uint32_t WM_SIZE = 0x0005;
inline constexpr uint32_t WM_ACTIVATE = 0x0006;
inline constexpr uint32_t WM_SETFOCUS = 0x0007;
inline constexpr uint32_t WM_KILLFOCUS = 0x0008;
inline constexpr uint32_t WM_ENABLE = 0x000A;
inline constexpr uint32_t WM_SETTEXT = 0x000C;
inline constexpr uint32_t WM_GETTEXT = 0x000D;
inline constexpr uint32_t WM_PAINT = 0x000F;
inline constexpr uint32_t WM_CLOSE = 0x0010;
inline constexpr uint32_t WM_QUIT = 0x0012;
inline constexpr uint32_t WM_ERASEBKGND = 0x0014;
inline constexpr uint32_t WM_SYSCOLORCHANGE = 0x0015;
inline constexpr uint32_t WM_SHOWWINDOW = 0x0018;
inline constexpr uint32_t WM_ACTIVATEAPP = 0x001C;
inline constexpr uint32_t WM_CANCELMODE = 0x001F;
inline constexpr uint32_t WM_SETCURSOR = 0x0020;
inline constexpr uint32_t WM_MOUSEACTIVATE = 0x0021;
inline constexpr uint32_t WM_GETMINMAXINFO = 0x0024;
inline constexpr uint32_t WM_DRAWITEM = 0x002B;
inline constexpr uint32_t WM_MEASUREITEM = 0x002C;
inline constexpr uint32_t WM_SETFONT = 0x0030;
inline constexpr uint32_t WM_WINDOWPOSCHANGING = 0x0046;
inline constexpr uint32_t WM_WINDOWPOSCHANGED = 0x0047;
inline constexpr uint32_t WM_NOTIFY = 0x004E;
inline constexpr uint32_t WM_CONTEXTMENU = 0x007B;
inline constexpr uint32_t WM_NCCREATE = 0x0081;
inline constexpr uint32_t WM_NCDESTROY = 0x0082;
inline constexpr uint32_t WM_NCCALCSIZE = 0x0083;
inline constexpr uint32_t WM_NCHITTEST = 0x0084;
inline constexpr uint32_t WM_NCPAINT = 0x0085;
inline constexpr uint32_t WM_NCACTIVATE = 0x0086;
inline constexpr uint32_t WM_GETDLGCODE = 0x0087;
inline constexpr uint32_t WM_NCMOUSEMOVE = 0x00A0;
inline constexpr uint32_t WM_NCLBUTTONDOWN = 0x00A1;
inline constexpr uint32_t WM_NCLBUTTONUP = 0x00A2;
inline constexpr uint32_t WM_KEYDOWN = 0x0100;
inline constexpr uint32_t WM_KEYUP = 0x0101;
inline constexpr uint32_t WM_CHAR = 0x0102;
inline constexpr uint32_t WM_SYSKEYDOWN = 0x0104;
inline constexpr uint32_t WM_SYSKEYUP = 0x0105;
inline constexpr uint32_t WM_SYSCHAR = 0x0106;
inline constexpr uint32_t WM_INITDIALOG = 0x0110;
inline constexpr uint32_t WM_COMMAND = 0x0111;
inline constexpr uint32_t WM_SYSCOMMAND = 0x0112;
// WM_SYSCOMMAND: size the window with the mouse; the low four bits name the edge (8 bottom-right).
inline constexpr uintptr_t SC_SIZE = 0xF000;
inline constexpr uint32_t WM_TIMER = 0x0113;
inline constexpr uint32_t WM_HSCROLL = 0x0114;
inline constexpr uint32_t WM_VSCROLL = 0x0115;
inline constexpr uint32_t WM_INITMENU = 0x0116;
inline constexpr uint32_t WM_INITMENUPOPUP = 0x0117;
inline constexpr uint32_t WM_MENUSELECT = 0x011F;
inline constexpr uint32_t WM_MENUCHAR = 0x0120;
inline constexpr uint32_t WM_ENTERIDLE = 0x0121;
inline constexpr uint32_t WM_MOUSEFIRST = 0x0200;
inline constexpr uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr uint32_t WM_LBUTTONDBLCLK = 0x0203;
inline constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr uint32_t WM_RBUTTONDBLCLK = 0x0206;
inline constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
inline constexpr uint32_t WM_MBUTTONUP = 0x0208;
inline constexpr uint32_t WM_MBUTTONDBLCLK = 0x0209;
inline constexpr uint32_t WM_MOUSEWHEEL = 0x020A;
inline constexpr uint32_t WM_MOUSEHWHEEL = 0x020E;
inline constexpr uint32_t WM_MOUSELAST = 0x020E;
inline constexpr uint32_t WM_ENTERMENULOOP = 0x0211;
inline constexpr uint32_t WM_EXITMENULOOP = 0x0212;
inline constexpr uint32_t WM_CAPTURECHANGED = 0x0215;
inline constexpr uint32_t WM_MDIACTIVATE = 0x0222;
inline constexpr uint32_t WM_MDIGETACTIVE = 0x0229;
inline constexpr uint32_t WM_MDIREFRESHMENU = 0x0234;
inline constexpr uint32_t WM_MOUSELEAVE = 0x02A3;
inline constexpr uint32_t WM_CUT = 0x0300;
inline constexpr uint32_t WM_COPY = 0x0301;
inline constexpr uint32_t WM_PASTE = 0x0302;
inline constexpr uint32_t WM_CLEAR = 0x0303;
inline constexpr uint32_t WM_UNDO = 0x0304;
inline constexpr uint32_t WM_THEMECHANGED = 0x031A;
inline constexpr uint32_t WM_USER = 0x0400;

// Control messages of the class library.
inline constexpr uint32_t CM_BASE = 0xB000;
inline constexpr uint32_t CM_ACTIVATE = CM_BASE + 0;
inline constexpr uint32_t CM_DEACTIVATE = CM_BASE + 1;
inline constexpr uint32_t CM_GOTFOCUS = CM_BASE + 2;
inline constexpr uint32_t CM_LOSTFOCUS = CM_BASE + 3;
inline constexpr uint32_t CM_CANCELMODE = CM_BASE + 4;
inline constexpr uint32_t CM_DIALOGKEY = CM_BASE + 5;
inline constexpr uint32_t CM_DIALOGCHAR = CM_BASE + 6;
inline constexpr uint32_t CM_FOCUSCHANGED = CM_BASE + 7;
inline constexpr uint32_t CM_PARENTFONTCHANGED = CM_BASE + 8;
inline constexpr uint32_t CM_PARENTCOLORCHANGED = CM_BASE + 9;
inline constexpr uint32_t CM_HITTEST = CM_BASE + 10;
inline constexpr uint32_t CM_VISIBLECHANGED = CM_BASE + 11;
inline constexpr uint32_t CM_ENABLEDCHANGED = CM_BASE + 12;
inline constexpr uint32_t CM_COLORCHANGED = CM_BASE + 13;
inline constexpr uint32_t CM_FONTCHANGED = CM_BASE + 14;
inline constexpr uint32_t CM_CURSORCHANGED = CM_BASE + 15;
inline constexpr uint32_t CM_CTL3DCHANGED = CM_BASE + 16;
inline constexpr uint32_t CM_PARENTCTL3DCHANGED = CM_BASE + 17;
inline constexpr uint32_t CM_TEXTCHANGED = CM_BASE + 18;
inline constexpr uint32_t CM_MOUSEENTER = CM_BASE + 19;
inline constexpr uint32_t CM_MOUSELEAVE = CM_BASE + 20;
inline constexpr uint32_t CM_MENUCHANGED = CM_BASE + 21;
inline constexpr uint32_t CM_APPKEYDOWN = CM_BASE + 22;
inline constexpr uint32_t CM_APPSYSCOMMAND = CM_BASE + 23;
inline constexpr uint32_t CM_BUTTONPRESSED = CM_BASE + 24;
inline constexpr uint32_t CM_SHOWINGCHANGED = CM_BASE + 25;
inline constexpr uint32_t CM_ENTER = CM_BASE + 26;
inline constexpr uint32_t CM_EXIT = CM_BASE + 27;
inline constexpr uint32_t CM_DESIGNHITTEST = CM_BASE + 28;
inline constexpr uint32_t CM_ICONCHANGED = CM_BASE + 29;
inline constexpr uint32_t CM_WANTSPECIALKEY = CM_BASE + 30;
inline constexpr uint32_t CM_INVOKEHELP = CM_BASE + 31;
inline constexpr uint32_t CM_RELEASE = CM_BASE + 33;
inline constexpr uint32_t CM_SHOWHINTCHANGED = CM_BASE + 34;
inline constexpr uint32_t CM_PARENTSHOWHINTCHANGED = CM_BASE + 35;
inline constexpr uint32_t CM_SYSCOLORCHANGE = CM_BASE + 36;
inline constexpr uint32_t CM_TABSTOPCHANGED = CM_BASE + 40;
inline constexpr uint32_t CM_CONTROLLISTCHANGE = CM_BASE + 44;
inline constexpr uint32_t CM_CHILDKEY = CM_BASE + 46;
inline constexpr uint32_t CM_HINTSHOW = CM_BASE + 48;
inline constexpr uint32_t CM_RECREATEWND = CM_BASE + 51;
inline constexpr uint32_t CM_INVALIDATE = CM_BASE + 52;
inline constexpr uint32_t CM_CONTROLCHANGE = CM_BASE + 54;
inline constexpr uint32_t CM_CHANGED = CM_BASE + 55;
inline constexpr uint32_t CM_DOCKCLIENT = CM_BASE + 56;
inline constexpr uint32_t CM_UNDOCKCLIENT = CM_BASE + 57;
inline constexpr uint32_t CM_BORDERCHANGED = CM_BASE + 59;
inline constexpr uint32_t CM_DOCKNOTIFICATION = CM_BASE + 66;
inline constexpr uint32_t CM_MOUSEWHEEL = CM_BASE + 67;

// Notifications reflected back to the control that caused them.
inline constexpr uint32_t CN_BASE = 0xBC00;
inline constexpr uint32_t CN_COMMAND = CN_BASE + WM_COMMAND;
inline constexpr uint32_t CN_NOTIFY = CN_BASE + WM_NOTIFY;
inline constexpr uint32_t CN_KEYDOWN = CN_BASE + WM_KEYDOWN;
inline constexpr uint32_t CN_KEYUP = CN_BASE + WM_KEYUP;
inline constexpr uint32_t CN_CHAR = CN_BASE + WM_CHAR;
inline constexpr uint32_t CN_SYSKEYDOWN = CN_BASE + WM_SYSKEYDOWN;
inline constexpr uint32_t CN_SYSCHAR = CN_BASE + WM_SYSCHAR;
inline constexpr uint32_t CN_HSCROLL = CN_BASE + WM_HSCROLL;
inline constexpr uint32_t CN_VSCROLL = CN_BASE + WM_VSCROLL;
inline constexpr uint32_t CN_DRAWITEM = CN_BASE + WM_DRAWITEM;
inline constexpr uint32_t CN_MEASUREITEM = CN_BASE + WM_MEASUREITEM;

// Scroll-bar codes and selectors.
inline constexpr int SB_LINEUP = 0;
inline constexpr int SB_LINELEFT = 0;
inline constexpr int SB_LINEDOWN = 1;
inline constexpr int SB_LINERIGHT = 1;
inline constexpr int SB_PAGEUP = 2;
inline constexpr int SB_PAGELEFT = 2;
inline constexpr int SB_PAGEDOWN = 3;
inline constexpr int SB_PAGERIGHT = 3;
inline constexpr int SB_THUMBPOSITION = 4;
inline constexpr int SB_THUMBTRACK = 5;
inline constexpr int SB_TOP = 6;
inline constexpr int SB_LEFT = 6;
inline constexpr int SB_BOTTOM = 7;
inline constexpr int SB_RIGHT = 7;
inline constexpr int SB_ENDSCROLL = 8;
inline constexpr int SB_HORZ = 0;
inline constexpr int SB_VERT = 1;
inline constexpr int SB_CTL = 2;
inline constexpr int SB_BOTH = 3;
inline constexpr uint32_t SIF_RANGE = 0x1;
inline constexpr uint32_t SIF_PAGE = 0x2;
inline constexpr uint32_t SIF_POS = 0x4;
inline constexpr uint32_t SIF_DISABLENOSCROLL = 0x8;
inline constexpr uint32_t SIF_TRACKPOS = 0x10;
inline constexpr uint32_t SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
inline constexpr uint32_t ESB_ENABLE_BOTH = 0;
inline constexpr uint32_t ESB_DISABLE_LTUP = 1;
inline constexpr uint32_t ESB_DISABLE_RTDN = 2;
inline constexpr uint32_t ESB_DISABLE_BOTH = 3;

struct TScrollInfo {
  uint32_t fMask = 0;
  int32_t nMin = 0;
  int32_t nMax = 0;
  uint32_t nPage = 0;
  int32_t nPos = 0;
  int32_t nTrackPos = 0;
};

// Virtual keys.
inline constexpr uint16_t VK_LBUTTON = 0x01;
inline constexpr uint16_t VK_RBUTTON = 0x02;
inline constexpr uint16_t VK_CANCEL = 0x03;
inline constexpr uint16_t VK_MBUTTON = 0x04;
inline constexpr uint16_t VK_BACK = 0x08;
inline constexpr uint16_t VK_TAB = 0x09;
inline constexpr uint16_t VK_CLEAR = 0x0C;
inline constexpr uint16_t VK_RETURN = 0x0D;
inline constexpr uint16_t VK_SHIFT = 0x10;
inline constexpr uint16_t VK_CONTROL = 0x11;
inline constexpr uint16_t VK_MENU = 0x12;
inline constexpr uint16_t VK_PAUSE = 0x13;
inline constexpr uint16_t VK_CAPITAL = 0x14;
inline constexpr uint16_t VK_ESCAPE = 0x1B;
inline constexpr uint16_t VK_SPACE = 0x20;
inline constexpr uint16_t VK_PRIOR = 0x21;
inline constexpr uint16_t VK_NEXT = 0x22;
inline constexpr uint16_t VK_END = 0x23;
inline constexpr uint16_t VK_HOME = 0x24;
inline constexpr uint16_t VK_LEFT = 0x25;
inline constexpr uint16_t VK_UP = 0x26;
inline constexpr uint16_t VK_RIGHT = 0x27;
inline constexpr uint16_t VK_DOWN = 0x28;
inline constexpr uint16_t VK_INSERT = 0x2D;
inline constexpr uint16_t VK_DELETE = 0x2E;
inline constexpr uint16_t VK_LWIN = 0x5B;
inline constexpr uint16_t VK_APPS = 0x5D;
inline constexpr uint16_t VK_NUMPAD0 = 0x60;
inline constexpr uint16_t VK_MULTIPLY = 0x6A;
inline constexpr uint16_t VK_ADD = 0x6B;
inline constexpr uint16_t VK_SUBTRACT = 0x6D;
inline constexpr uint16_t VK_DECIMAL = 0x6E;
inline constexpr uint16_t VK_DIVIDE = 0x6F;
inline constexpr uint16_t VK_F1 = 0x70;
inline constexpr uint16_t VK_F2 = 0x71;
inline constexpr uint16_t VK_F3 = 0x72;
inline constexpr uint16_t VK_F4 = 0x73;
inline constexpr uint16_t VK_F5 = 0x74;
inline constexpr uint16_t VK_F6 = 0x75;
inline constexpr uint16_t VK_F7 = 0x76;
inline constexpr uint16_t VK_F8 = 0x77;
inline constexpr uint16_t VK_F9 = 0x78;
inline constexpr uint16_t VK_F10 = 0x79;
inline constexpr uint16_t VK_F11 = 0x7A;
inline constexpr uint16_t VK_F12 = 0x7B;
inline constexpr uint16_t VK_OEM_PLUS = 0xBB;
inline constexpr uint16_t VK_OEM_COMMA = 0xBC;
inline constexpr uint16_t VK_OEM_MINUS = 0xBD;
inline constexpr uint16_t VK_OEM_PERIOD = 0xBE;

// Mouse-message key flags (WParam of mouse messages).
inline constexpr uint32_t MK_LBUTTON = 0x0001;
inline constexpr uint32_t MK_RBUTTON = 0x0002;
inline constexpr uint32_t MK_SHIFT = 0x0004;
inline constexpr uint32_t MK_CONTROL = 0x0008;
inline constexpr uint32_t MK_MBUTTON = 0x0010;
// Not a platform flag: the Alt key held during a mouse message.
inline constexpr uint32_t MK_ALT = 0x1000;
inline constexpr int WHEEL_DELTA = 120;

// Key data (LParam of key messages): bit 29 says Alt was down.
inline constexpr intptr_t KF_ALTDOWN_BIT = intptr_t(1) << 29;

// Dialog codes answered to WM_GETDLGCODE.
inline constexpr intptr_t DLGC_WANTARROWS = 0x0001;
inline constexpr intptr_t DLGC_WANTTAB = 0x0002;
inline constexpr intptr_t DLGC_WANTALLKEYS = 0x0004;
inline constexpr intptr_t DLGC_HASSETSEL = 0x0008;
inline constexpr intptr_t DLGC_DEFPUSHBUTTON = 0x0010;
inline constexpr intptr_t DLGC_UNDEFPUSHBUTTON = 0x0020;
inline constexpr intptr_t DLGC_RADIOBUTTON = 0x0040;
inline constexpr intptr_t DLGC_WANTCHARS = 0x0080;
inline constexpr intptr_t DLGC_STATIC = 0x0100;
inline constexpr intptr_t DLGC_BUTTON = 0x2000;

// Hit-test codes.
inline constexpr intptr_t HTERROR = -2;
inline constexpr intptr_t HTTRANSPARENT = -1;
inline constexpr intptr_t HTNOWHERE = 0;
inline constexpr intptr_t HTCLIENT = 1;
inline constexpr intptr_t HTCAPTION = 2;
inline constexpr intptr_t HTHSCROLL = 6;
inline constexpr intptr_t HTVSCROLL = 7;
inline constexpr intptr_t HTBORDER = 18;

// Window and class styles.
inline constexpr uint32_t WS_OVERLAPPED = 0x00000000;
inline constexpr uint32_t WS_TABSTOP = 0x00010000;
inline constexpr uint32_t WS_THICKFRAME = 0x00040000;
inline constexpr uint32_t WS_HSCROLL = 0x00100000;
inline constexpr uint32_t WS_VSCROLL = 0x00200000;
inline constexpr uint32_t WS_DLGFRAME = 0x00400000;
inline constexpr uint32_t WS_BORDER = 0x00800000;
inline constexpr uint32_t WS_CAPTION = 0x00C00000;
inline constexpr uint32_t WS_CLIPCHILDREN = 0x02000000;
inline constexpr uint32_t WS_CLIPSIBLINGS = 0x04000000;
inline constexpr uint32_t WS_DISABLED = 0x08000000;
inline constexpr uint32_t WS_VISIBLE = 0x10000000;
inline constexpr uint32_t WS_CHILD = 0x40000000;
inline constexpr uint32_t WS_POPUP = 0x80000000;
inline constexpr uint32_t WS_EX_TOPMOST = 0x00000008;
inline constexpr uint32_t WS_EX_TRANSPARENT = 0x00000020;
inline constexpr uint32_t WS_EX_TOOLWINDOW = 0x00000080;
inline constexpr uint32_t WS_EX_CLIENTEDGE = 0x00000200;
inline constexpr uint32_t WS_EX_CONTROLPARENT = 0x00010000;
inline constexpr uint32_t WS_EX_STATICEDGE = 0x00020000;
inline constexpr uint32_t CS_VREDRAW = 0x0001;
inline constexpr uint32_t CS_HREDRAW = 0x0002;
inline constexpr uint32_t CS_DBLCLKS = 0x0008;

// RedrawWindow flags.
inline constexpr uint32_t RDW_INVALIDATE = 0x0001;
inline constexpr uint32_t RDW_INTERNALPAINT = 0x0002;
inline constexpr uint32_t RDW_ERASE = 0x0004;
inline constexpr uint32_t RDW_NOCHILDREN = 0x0040;
inline constexpr uint32_t RDW_ALLCHILDREN = 0x0080;
inline constexpr uint32_t RDW_UPDATENOW = 0x0100;
inline constexpr uint32_t RDW_ERASENOW = 0x0200;
inline constexpr uint32_t RDW_FRAME = 0x0400;

// System metrics (GetSystemMetrics in controls.h).
inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;
inline constexpr int SM_CXVSCROLL = 2;
inline constexpr int SM_CYHSCROLL = 3;
inline constexpr int SM_CYCAPTION = 4;
inline constexpr int SM_CXBORDER = 5;
inline constexpr int SM_CYBORDER = 6;
inline constexpr int SM_CXDLGFRAME = 7;
inline constexpr int SM_CYDLGFRAME = 8;
inline constexpr int SM_CYVTHUMB = 9;
inline constexpr int SM_CXHTHUMB = 10;
inline constexpr int SM_CXICON = 11;
inline constexpr int SM_CYICON = 12;
inline constexpr int SM_CXCURSOR = 13;
inline constexpr int SM_CYCURSOR = 14;
inline constexpr int SM_CYMENU = 15;
inline constexpr int SM_SWAPBUTTON = 23;
inline constexpr int SM_CXFRAME = 32;
inline constexpr int SM_CYFRAME = 33;
inline constexpr int SM_CXDOUBLECLK = 36;
inline constexpr int SM_CYDOUBLECLK = 37;
inline constexpr int SM_CXEDGE = 45;
inline constexpr int SM_CYEDGE = 46;
inline constexpr int SM_CXSMICON = 49;
inline constexpr int SM_CYSMICON = 50;
inline constexpr int SM_CXMENUCHECK = 71;
inline constexpr int SM_CYMENUCHECK = 72;
inline constexpr int SM_REMOTESESSION = 0x1000;

// Input state.
enum class TShiftStateItem : uint8_t { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSetOf<TShiftStateItem>;
inline constexpr TShiftStateItem ssShift = TShiftStateItem::ssShift;
inline constexpr TShiftStateItem ssAlt = TShiftStateItem::ssAlt;
inline constexpr TShiftStateItem ssCtrl = TShiftStateItem::ssCtrl;
inline constexpr TShiftStateItem ssLeft = TShiftStateItem::ssLeft;
inline constexpr TShiftStateItem ssRight = TShiftStateItem::ssRight;
inline constexpr TShiftStateItem ssMiddle = TShiftStateItem::ssMiddle;
inline constexpr TShiftStateItem ssDouble = TShiftStateItem::ssDouble;

enum class TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };
inline constexpr TMouseButton mbLeft = TMouseButton::mbLeft;
inline constexpr TMouseButton mbRight = TMouseButton::mbRight;
inline constexpr TMouseButton mbMiddle = TMouseButton::mbMiddle;

// Shift state from mouse-message key flags.
TShiftState KeysToShiftState(uint32_t Keys);
// Shift state from the key data of a key message and the keyboard's current modifiers.
TShiftState KeyDataToShiftState(intptr_t KeyData);
// Current modifier and button state as the input layer last saw it.
TShiftState GetShiftState();
// True when the key is down now, as the input layer last saw it (VK_SHIFT, VK_CONTROL, VK_MENU, buttons).
bool GetKeyDown(uint16_t VirtualKey);
// Platform-style queries: the high bit (negative value) while the key or button is down.
int16_t GetKeyState(int32_t VirtualKey);
int16_t GetAsyncKeyState(int32_t VirtualKey);
