// Message maps: each class that handles messages declares a table of entries, and
// each table links to its base class's table. An entry matches a window message, a
// command or notification from a control (by code and id), or a message that the
// parent reflected back to the control that sent it.
#pragma once

#include <windows.h>

class CCmdTarget;

// Calls the handler of one entry. Returns FALSE when the handler declines the
// message (reflected notifications that the parent should still see, a NULL brush).
using AfxMsgThunk = BOOL (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam, LRESULT* result);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // window message, WM_COMMAND, WM_NOTIFY, or a reflected message
    UINT nCode;     // notification code for commands and notifications, else 0
    UINT nID;       // first control id (commands and notifications), else 0
    UINT nLastID;   // last control id of the range
    AfxMsgThunk pfn;  // null ends the table
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#ifndef WM_CTLCOLOR
#define WM_CTLCOLOR 0x0019  // the reflected form of every WM_CTLCOLOR* message
#endif

// Messages that a parent sends back to the control that caused them.
constexpr UINT WM_REFLECT_BASE = 0xBC00;
// Notification code of ON_UPDATE_COMMAND_UI entries.
constexpr UINT CN_UPDATE_COMMAND_UI = 0xFFFFFFFF;
// Notification code of menu and accelerator commands.
constexpr UINT CN_COMMAND = 0;

// The first entry of every table matching (message, code, id), searched from the
// class's own table through its bases; null when none.
const AFX_MSGMAP_ENTRY* AfxFindMessageEntry(const AFX_MSGMAP* map, UINT message, UINT code, UINT id);

#define DECLARE_MESSAGE_MAP()                                  \
protected:                                                     \
    static const AFX_MSGMAP* GetThisMessageMap();       \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                               \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                 \
        using ThisClass = theClass;                                          \
        using TheBaseClass = baseClass;                                      \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                    \
            {0, 0, 0, 0, nullptr}};                                          \
        static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
        return &map;                                                         \
    }

// One entry whose handler runs `call` on the object as its own class.
#define AFX_MSG_ENTRY(message, code, id, lastId, call)                       \
    {(message), (code), (id), (lastId),                                      \
     [](CCmdTarget* target_, WPARAM wParam, LPARAM lParam, LRESULT* result_) -> BOOL { \
         ThisClass* self_ = static_cast<ThisClass*>(target_);                \
         (void)self_; (void)wParam; (void)lParam; (void)result_;            \
         call;                                                               \
     }},

#define AFX_VOID_HANDLER(message, expr) AFX_MSG_ENTRY(message, 0, 0, 0, { expr; *result_ = 0; return TRUE; })

// Window messages.
#define ON_WM_PAINT() AFX_VOID_HANDLER(WM_PAINT, self_->OnPaint())
#define ON_WM_DESTROY() AFX_VOID_HANDLER(WM_DESTROY, self_->OnDestroy())
#define ON_WM_CLOSE() AFX_VOID_HANDLER(WM_CLOSE, self_->OnClose())
#define ON_WM_TIMER() AFX_VOID_HANDLER(WM_TIMER, self_->OnTimer(static_cast<UINT_PTR>(wParam)))
#define ON_WM_SYSCOMMAND() AFX_VOID_HANDLER(WM_SYSCOMMAND, self_->OnSysCommand(static_cast<UINT>(wParam), lParam))
#define ON_WM_SHOWWINDOW() \
    AFX_VOID_HANDLER(WM_SHOWWINDOW, self_->OnShowWindow(static_cast<BOOL>(wParam), static_cast<UINT>(lParam)))
#define ON_WM_KILLFOCUS() AFX_VOID_HANDLER(WM_KILLFOCUS, self_->OnKillFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wParam))))
#define ON_WM_MOUSEMOVE() AFX_VOID_HANDLER(WM_MOUSEMOVE, self_->OnMouseMove(static_cast<UINT>(wParam), CPoint(lParam)))
#define ON_WM_SYSCOLORCHANGE() AFX_VOID_HANDLER(WM_SYSCOLORCHANGE, self_->OnSysColorChange())
#define ON_WM_ACTIVATE()                                                              \
    AFX_VOID_HANDLER(WM_ACTIVATE, self_->OnActivate(LOWORD(wParam),                   \
                                                    CWnd::FromHandle(reinterpret_cast<HWND>(lParam)), \
                                                    static_cast<BOOL>(HIWORD(wParam))))
#define ON_WM_ENABLE() AFX_VOID_HANDLER(WM_ENABLE, self_->OnEnable(static_cast<BOOL>(wParam)))
#define ON_WM_CANCELMODE() AFX_VOID_HANDLER(WM_CANCELMODE, self_->OnCancelMode())
#define ON_WM_ERASEBKGND() \
    AFX_MSG_ENTRY(WM_ERASEBKGND, 0, 0, 0, { *result_ = self_->OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(wParam))); return TRUE; })
#define ON_WM_SIZE() \
    AFX_VOID_HANDLER(WM_SIZE, self_->OnSize(static_cast<UINT>(wParam), (short)LOWORD(lParam), (short)HIWORD(lParam)))
#define ON_WM_QUERYDRAGICON() \
    AFX_MSG_ENTRY(WM_QUERYDRAGICON, 0, 0, 0, { *result_ = reinterpret_cast<LRESULT>(self_->OnQueryDragIcon()); return TRUE; })
#define ON_WM_GETDLGCODE() \
    AFX_MSG_ENTRY(WM_GETDLGCODE, 0, 0, 0, { *result_ = self_->OnGetDlgCode(); return TRUE; })
#define ON_WM_SETCURSOR()                                                                  \
    AFX_MSG_ENTRY(WM_SETCURSOR, 0, 0, 0, {                                                 \
        *result_ = self_->OnSetCursor(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)),   \
                                      LOWORD(lParam), HIWORD(lParam));                     \
        return TRUE; })
#define ON_MESSAGE(message, memberFn) \
    AFX_MSG_ENTRY(message, 0, 0, 0, { *result_ = self_->memberFn(wParam, lParam); return TRUE; })

// Commands and notifications that controls send to their parent.
#define ON_COMMAND(id, memberFn) AFX_MSG_ENTRY(WM_COMMAND, CN_COMMAND, id, id, { self_->memberFn(); *result_ = 0; return TRUE; })
#define ON_CONTROL(code, id, memberFn) AFX_MSG_ENTRY(WM_COMMAND, code, id, id, { self_->memberFn(); *result_ = 0; return TRUE; })
#define ON_BN_CLICKED(id, memberFn) ON_CONTROL(BN_CLICKED, id, memberFn)
#define ON_EN_CHANGE(id, memberFn) ON_CONTROL(EN_CHANGE, id, memberFn)
#define ON_EN_KILLFOCUS(id, memberFn) ON_CONTROL(EN_KILLFOCUS, id, memberFn)
#define ON_CBN_SELCHANGE(id, memberFn) ON_CONTROL(CBN_SELCHANGE, id, memberFn)
// One handler for the notification of a run of controls; it is given the id.
#define ON_CONTROL_RANGE(code, id, lastId, memberFn) \
    AFX_MSG_ENTRY(WM_COMMAND, code, id, lastId, { self_->memberFn(LOWORD(wParam)); *result_ = 0; return TRUE; })
#define ON_NOTIFY(code, id, memberFn)                                                   \
    AFX_MSG_ENTRY(WM_NOTIFY, static_cast<UINT>(code), id, id, {                         \
        *result_ = 0; self_->memberFn(reinterpret_cast<NMHDR*>(lParam), result_); return TRUE; })
#define ON_UPDATE_COMMAND_UI(id, memberFn)                                              \
    AFX_MSG_ENTRY(WM_COMMAND, CN_UPDATE_COMMAND_UI, id, id, {                           \
        self_->memberFn(reinterpret_cast<CCmdUI*>(lParam)); return TRUE; })
#define ON_UPDATE_COMMAND_UI_RANGE(id, lastId, memberFn)                               \
    AFX_MSG_ENTRY(WM_COMMAND, CN_UPDATE_COMMAND_UI, id, lastId, {                       \
        self_->memberFn(reinterpret_cast<CCmdUI*>(lParam)); return TRUE; })

// Notifications reflected back to the control. An _EX handler returns FALSE to let
// the parent handle the notification as well.
#define ON_CONTROL_REFLECT_EX(code, memberFn) \
    AFX_MSG_ENTRY(WM_REFLECT_BASE + WM_COMMAND, code, 0, 0, { *result_ = 0; return self_->memberFn(); })
#define ON_WM_CTLCOLOR_REFLECT()                                                            \
    AFX_MSG_ENTRY(WM_REFLECT_BASE + WM_CTLCOLOR, 0, 0, 0, {                                 \
        HBRUSH brush_ = self_->CtlColor(CDC::FromHandle(reinterpret_cast<HDC>(wParam)),     \
                                        static_cast<UINT>(lParam));                         \
        *result_ = reinterpret_cast<LRESULT>(brush_); return brush_ != nullptr; })

// Base of every class with a message map: routes commands and notifications by id.
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;

    // Runs the handler of (message, code, id) from the class's map; FALSE when none.
    BOOL DispatchMapEntry(UINT message, UINT code, UINT id, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Commands (code CN_COMMAND or a control's notification) and CCmdUI updates
    // (code CN_UPDATE_COMMAND_UI, extra is the CCmdUI).
    virtual BOOL OnCmdMsg(UINT id, UINT code, void* extra);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};
