// CClipOffscreenDC: an off-screen context over the part of the target that needs
// drawing (its clip box, so a paint covers just the invalid part).
#pragma once

#include "offscreen_dc.h"

class CClipOffscreenDC : public COffscreenDC {
public:
    explicit CClipOffscreenDC(CDC* target) : COffscreenDC(target, ClipBox(target)) {}

private:
    static CRect ClipBox(CDC* target) {
        CRect box;
        target->GetClipBox(&box);
        return box;
    }
};
