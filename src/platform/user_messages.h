// The messages between the front ends, the engine window and the serial port, with their
// parameter values. Ids are WM_USER-based; the table in each comment says who posts or sends.
#pragma once

#include "platform/message.h"

namespace kvx {

// Serial port to engine (posted): wParam is a COM_EVT_* code, lParam its value.
inline constexpr UINT WM_USER_COM_EVENT = WM_USER + 1;
inline constexpr WPARAM COM_EVT_RXDATA = 0x402;  // lParam 0
inline constexpr WPARAM COM_EVT_DSR = 0x403;     // lParam MS_DSR_ON or 0 (cable lost)
inline constexpr WPARAM COM_EVT_ERROR = 0x405;   // lParam errno of the failed wait
inline constexpr WPARAM COM_EVT_OPEN = 0x406;    // lParam 0 or errno of the failed step
inline constexpr LPARAM MS_DSR_ON = 0x20;

// Engine to front end.
inline constexpr UINT WM_USER_THREAD_START = WM_USER + 2000;     // post
inline constexpr UINT WM_USER_END = WM_USER + 2002;              // post; lParam 149
inline constexpr UINT WM_USER_PROG_SETUP = WM_USER + 2003;       // post; wParam count, lParam part
inline constexpr UINT WM_USER_PROG_PROC = WM_USER + 2004;        // post; lParam position
inline constexpr UINT WM_USER_BTN_CTRL = WM_USER + 2005;         // post, or send from Disconnect
inline constexpr UINT WM_USER_STATIC_LOG_CTRL = WM_USER + 2006;  // post; lParam string id
inline constexpr UINT WM_USER_THREAD_END = WM_USER + 2012;       // post
// send; wParam const std::string* port name, lParam const int32_t* baud rate (copy both)
inline constexpr UINT WM_USER_PORT_SELECTED = WM_USER + 2014;
inline constexpr UINT WM_USER_DEVICE_COUNT = WM_USER + 2020;  // send; wParam count
inline constexpr UINT WM_USER_ASK = WM_USER + 2021;         // send; lParam string id -> IDYES/IDNO
inline constexpr UINT WM_USER_PORT_ERROR = WM_USER + 2024;  // send; lParam const int32_t* check

// Front end to engine (all posted).
inline constexpr UINT WM_USER_UPGRADE_START = WM_USER + 2001;  // lParam option bits
inline constexpr UINT WM_USER_LOG_WND_CTRL = WM_USER + 2010;   // lParam LOG_WND_TOGGLE/DUMP_TOGGLE
inline constexpr UINT WM_USER_DEV_MODE = WM_USER + 2011;       // lParam DEV_MODE_OFF/DEV_MODE_ON
inline constexpr UINT WM_USER_PORT_SETUP = WM_USER + 2013;
inline constexpr UINT WM_USER_UPGRADE_AGAIN = WM_USER + 2022;
// wParam const std::string* port name, owned by the poster and valid until handled
inline constexpr UINT WM_USER_PORT_CONFIG = WM_USER + 2023;

// Front end to engine, beyond the Windows program's set (both posted):
// WM_USER_SYNC: the engine answers with WM_USER_SYNC to the front end once it has handled
// everything queued before it, so a front end can tell that WM_USER_END will not follow any more;
// the answer's wParam is 1 while a run is still in progress (a rule's message does not end one).
inline constexpr UINT WM_USER_SYNC = WM_USER + 2100;
// WM_USER_ABORT_RUN: ends a run in progress through Disconnect(0) (Ctrl-C in kvx-flash); nothing
// when no run is in progress.
inline constexpr UINT WM_USER_ABORT_RUN = WM_USER + 2101;

// Engine to front end, beyond the Windows program's set (sent):
// WM_USER_PORT_ACCESS_DENIED: the port could not be opened for lack of permission (EACCES or
// EPERM). Sent after the engine's own report of what that caused (WM_USER_PORT_ERROR, the
// WM_USER_BTN_CTRL that ends a run whose open attempts all failed so, or the WM_USER_PORT_SELECTED
// that drops the configuration's port), so the front end can add the fix to it. wParam
// const std::string* device path (copy it), lParam the errno.
inline constexpr UINT WM_USER_PORT_ACCESS_DENIED = WM_USER + 2102;

// Trace requests to the engine window (sent): wParam const std::string* text, lParam COLORREF.
// The handler appends the line and returns 1.
inline constexpr UINT WM_USER_LOG = WM_USER + 2007;     // kind 3, " "
inline constexpr UINT WM_USER_LOG_TX = WM_USER + 2008;  // kind 1, "T: "
inline constexpr UINT WM_USER_LOG_RX = WM_USER + 2009;  // kind 2, "R: "

// Parameter values.
inline constexpr WPARAM BTN_DISABLE = 0;
inline constexpr WPARAM BTN_ENABLE = 1;
inline constexpr LPARAM CHECK_COM_PORT_PART = 101;
inline constexpr LPARAM UPGRADE_PART = 102;
inline constexpr LPARAM UPGRADE_END_ID = 149;
inline constexpr LPARAM LOG_WND_TOGGLE = 8001;
inline constexpr LPARAM DUMP_TOGGLE = 8002;
inline constexpr LPARAM DEV_MODE_OFF = 7001;
inline constexpr LPARAM DEV_MODE_ON = 7002;

// Option bits of WM_USER_UPGRADE_START.
inline constexpr LPARAM OPTION_DOWNGRADE = 1;
inline constexpr LPARAM OPTION_FORCE_STACK = 2;
inline constexpr LPARAM OPTION_FORCE_BOOT = 4;

}  // namespace kvx
