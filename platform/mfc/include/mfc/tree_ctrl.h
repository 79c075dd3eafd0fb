// CTreeCtrl: a tree-view control bound to a dialog item.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "mfc/cstring.h"
#include "mfc/image_list.h"
#include "mfc/wnd.h"

class CTreeCtrl : public CWnd {
public:
    // Returns the image list the tree had before.
    HIMAGELIST SetImageList(CImageList* images, int which);
    HTREEITEM InsertItem(LPCSTR text, int image, int selectedImage, HTREEITEM parent = TVI_ROOT,
                         HTREEITEM after = TVI_LAST);
    BOOL Expand(HTREEITEM item, UINT code) { return static_cast<BOOL>(SendMessage(TVM_EXPAND, code, reinterpret_cast<LPARAM>(item))); }
    BOOL SelectItem(HTREEITEM item) { return static_cast<BOOL>(SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item))); }
    HTREEITEM GetRootItem() const { return Next(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM item) const { return Next(item, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return Next(item, TVGN_NEXT); }
    HTREEITEM GetParentItem(HTREEITEM item) const { return Next(item, TVGN_PARENT); }
    HTREEITEM GetSelectedItem() const { return Next(nullptr, TVGN_CARET); }
    BOOL ItemHasChildren(HTREEITEM item) const;
    CString GetItemText(HTREEITEM item) const;
    BOOL GetItemImage(HTREEITEM item, int& image, int& selectedImage) const;
    UINT GetItemState(HTREEITEM item, UINT stateMask) const;

private:
    HTREEITEM Next(HTREEITEM item, UINT relation) const {
        return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
    }
};
