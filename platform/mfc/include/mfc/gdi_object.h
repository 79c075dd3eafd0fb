// CGdiObject: owns one GDI object handle and deletes it with itself.
#pragma once

#include <windows.h>

class CGdiObject {
public:
    CGdiObject() = default;
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    virtual ~CGdiObject() { DeleteObject(); }

    HGDIOBJ m_hObject = nullptr;

    operator HGDIOBJ() const { return m_hObject; }
    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    BOOL Attach(HGDIOBJ object) {
        if (!object) return FALSE;
        DeleteObject();
        m_hObject = object;
        return TRUE;
    }
    HGDIOBJ Detach() {
        HGDIOBJ object = m_hObject;
        m_hObject = nullptr;
        return object;
    }
    BOOL DeleteObject() { return m_hObject ? ::DeleteObject(Detach()) : FALSE; }
};
