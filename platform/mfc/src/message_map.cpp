#include "mfc/message_map.h"

const AFX_MSGMAP_ENTRY* AfxFindMessageEntry(const AFX_MSGMAP* map, UINT message, UINT code, UINT id) {
    for (; map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry && entry->pfn; ++entry) {
            if (entry->nMessage == message && entry->nCode == code && entry->nID <= id && id <= entry->nLastID)
                return entry;
        }
    }
    return nullptr;
}

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

BOOL CCmdTarget::DispatchMapEntry(UINT message, UINT code, UINT id, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const AFX_MSGMAP_ENTRY* entry = AfxFindMessageEntry(GetMessageMap(), message, code, id);
    if (!entry) return FALSE;
    LRESULT ignored = 0;
    return entry->pfn(this, wParam, lParam, result ? result : &ignored);
}

BOOL CCmdTarget::OnCmdMsg(UINT id, UINT code, void* extra) {
    return DispatchMapEntry(WM_COMMAND, code, id, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(extra), nullptr);
}
