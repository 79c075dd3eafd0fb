// The handle maps: which object stands for a window, device context or menu handle.
// The program has one GUI thread, so the maps are process-wide.
#pragma once

#include <windows.h>

#include <memory>
#include <unordered_map>

class CWnd;

namespace mfc {

// A temporary object only borrows its handle: it never owns or destroys it.
template <typename Object, typename Handle>
void SetHandle(Object& object, Handle handle);

// Objects made for handles that the program never attached; freed at idle time.
template <typename Handle, typename Object>
class TemporaryMap {
public:
    ~TemporaryMap() { Clear(); }
    Object* Lookup(Handle handle) {
        auto& slot = m_objects[handle];
        if (!slot) {
            slot = std::make_unique<Object>();
            SetHandle(*slot, handle);
        }
        return slot.get();
    }
    void Clear() {
        for (auto& entry : m_objects) SetHandle(*entry.second, Handle{});
        m_objects.clear();
    }

private:
    std::unordered_map<Handle, std::unique_ptr<Object>> m_objects;
};

std::unordered_map<HWND, CWnd*>& PermanentWindows();

}  // namespace mfc
