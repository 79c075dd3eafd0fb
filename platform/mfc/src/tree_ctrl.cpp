#include "mfc/tree_ctrl.h"

HIMAGELIST CTreeCtrl::SetImageList(CImageList* images, int which) {
    return reinterpret_cast<HIMAGELIST>(
        SendMessage(TVM_SETIMAGELIST, which, reinterpret_cast<LPARAM>(images ? images->m_hImageList : nullptr)));
}

HTREEITEM CTreeCtrl::InsertItem(LPCSTR text, int image, int selectedImage, HTREEITEM parent, HTREEITEM after) {
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = const_cast<LPSTR>(text);
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM item) const {
    TVITEMA query{};
    query.mask = TVIF_CHILDREN | TVIF_HANDLE;
    query.hItem = item;
    return SendMessage(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query)) && query.cChildren != 0;
}

CString CTreeCtrl::GetItemText(HTREEITEM item) const {
    char text[260] = "";
    TVITEMA query{};
    query.mask = TVIF_TEXT | TVIF_HANDLE;
    query.hItem = item;
    query.pszText = text;
    query.cchTextMax = sizeof text;
    if (!SendMessage(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query))) return CString();
    return CString(query.pszText);
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM item, int& image, int& selectedImage) const {
    TVITEMA query{};
    query.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
    query.hItem = item;
    if (!SendMessage(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query))) return FALSE;
    image = query.iImage;
    selectedImage = query.iSelectedImage;
    return TRUE;
}

UINT CTreeCtrl::GetItemState(HTREEITEM item, UINT stateMask) const {
    return static_cast<UINT>(SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), stateMask));
}
