#include "menu_toolbar.h"

#include <cstdint>
#include <vector>

#include "resource_lookup.h"

namespace {

// A toolbar resource: little-endian 16-bit words.
struct ToolBarData {
    uint16_t version;
    uint16_t width;   // of one button image
    uint16_t height;
    uint16_t count;   // of the items that follow: commands, 0 for a separator
    uint16_t items[1];
};
constexpr size_t kToolBarHeaderSize = 4 * sizeof(uint16_t);

}  // namespace

CMenuToolBar::~CMenuToolBar() = default;

BOOL CMenuToolBar::LoadToolBar(LPCSTR name) {
    const LockedResource found = LockResourceWithFallback(name, RT_TOOLBAR);
    const auto* data = static_cast<const ToolBarData*>(found.data);
    if (!data) return FALSE;
    // A resource shorter than its item count says is refused, not read past its end.
    if (found.size < kToolBarHeaderSize || found.size < kToolBarHeaderSize + data->count * sizeof(uint16_t))
        return FALSE;

    const std::vector<UINT> ids(data->items, data->items + data->count);
    BOOL result = SetButtons(ids.data(), data->count);
    if (result) {
        SetSizes(CSize(data->width + 7, data->height + 7), CSize(data->width, data->height));
        m_nImageWidth = data->width;
        m_nImageHeight = data->height;
        result = LoadImageStrip(name);
    }
    return result;
}

BOOL CMenuToolBar::LoadImageStrip(LPCSTR name) {
    HINSTANCE module = nullptr;
    HRSRC resource = FindResourceWithFallback(name, RT_BITMAP, module);
    if (!resource || !AddReplaceBitmap(AfxLoadSysColorBitmap(module, resource))) return FALSE;
    m_hInstImageWell = module;
    m_hRsrcImageWell = resource;
    return TRUE;
}
