// Finding a resource the way the owner-drawn controls do: in the resource module
// first, then in the program's own module.
#pragma once

#include <afxwin.h>

inline HRSRC FindResourceWithFallback(LPCSTR name, LPCSTR type, HINSTANCE& module) {
    module = AfxFindResourceHandle(name, type);
    if (HRSRC found = ::FindResourceA(module, name, type)) return found;
    module = AfxGetInstanceHandle();
    return ::FindResourceA(module, name, type);
}

// A resource found that way, with its bytes; data is null when it is missing or
// cannot be loaded.
struct LockedResource {
    HINSTANCE module = nullptr;
    HRSRC resource = nullptr;
    const void* data = nullptr;
    size_t size = 0;
};

inline LockedResource LockResourceWithFallback(LPCSTR name, LPCSTR type) {
    LockedResource found;
    found.resource = FindResourceWithFallback(name, type, found.module);
    HGLOBAL loaded = found.resource ? ::LoadResource(found.module, found.resource) : nullptr;
    found.data = loaded ? ::LockResource(loaded) : nullptr;
    if (found.data) found.size = ::SizeofResource(found.module, found.resource);
    return found;
}
