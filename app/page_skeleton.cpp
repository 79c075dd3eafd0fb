#include "page_skeleton.h"

#include <cstdlib>

#include "resource.h"
#include "status_names.h"

namespace {

// "VEXA-RM720 ID:" and "VEXA-RM730 ID:": the card number follows them.
constexpr const char* kCardPrefix[2] = {"VEXA-RM720 ID:", "VEXA-RM730 ID:"};
constexpr int kCardPrefixLength = 14;
constexpr const char* kAxisNames[4] = {"AXIS-X", "AXIS-Y", "AXIS-Z", "AXIS-U"};
constexpr const char kAxisPrefix[] = "AXIS-";
constexpr const char kModulePrefix[] = "TORIX_SA";
constexpr int kFirstModuleAddress = 8;  // input modules are SA groups 8..15
constexpr COLORREF kWhite = RGB(255, 255, 255);

bool StartsWith(const CString& text, const char* prefix) { return text.Find(prefix) == 0; }

// Image 0 is the card; image 1 the axis or module, when the form has one.
void AttachImages(CTreeCtrl& tree, CImageList& images, CardTreeForm form) {
    const UINT childIcon = form == CardTreeForm::Axes ? IDI_AXIS : form == CardTreeForm::TorixModules ? IDI_MODULE : 0;
    images.Create(16, 16, ILC_COLOR24, childIcon ? 2 : 1, 2);
    images.SetBkColor(kWhite);
    for (UINT icon : {static_cast<UINT>(IDI_CARD), childIcon})
        if (icon) images.Add(::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(icon)));
    tree.SetImageList(&images, TVSIL_NORMAL);
}

// Shows a failed call; true when it failed.
bool ShowFailure(ApiStatus status, LPCSTR label, CStatusBar& bar, int16_t& lastStatus) {
    if (status == SUCCESS_NO_ERROR) return false;
    lastStatus = status;
    skeleton::ShowErrorCode(bar, status, label);
    return true;
}

// Inserts the form's items below a card item; false (shown) when the card's
// modules cannot be read.
bool InsertCardChildren(CTreeCtrl& tree, HTREEITEM card, uint8_t cardId, CardTreeForm form, int model,
                        const MotionLibrary& library, CStatusBar& bar, int16_t& lastStatus) {
    if (form == CardTreeForm::Axes) {
        for (const char* axis : kAxisNames) tree.InsertItem(axis, 1, 1, card);
    } else if (form == CardTreeForm::TorixModules) {
        int16_t modules = 0;
        const CString label = skeleton::ExportLabel(model, "scan_Torix_DI");
        if (ShowFailure(library.scan_Torix_DI(cardId, &modules), label, bar, lastStatus)) return false;
        for (int bit = 0; bit < 8; ++bit) {
            if (!(modules & (1 << bit))) continue;
            CString name;
            name.Format("%s%d", kModulePrefix, kFirstModuleAddress + bit);
            tree.InsertItem(name, 1, 1, card);
        }
    }
    return true;
}

// Inserts the cards of one model; returns the last card item, or last when none.
HTREEITEM InsertModelCards(CTreeCtrl& tree, CardTreeForm form, int model, const MotionLibrary& library,
                           CStatusBar& bar, int16_t& lastStatus, HTREEITEM last) {
    int16_t count = 0;
    uint8_t present[16] = {};
    if (library.scan(&count, present) != SUCCESS_NO_ERROR) return last;
    const CString infoLabel = " " + skeleton::ExportLabel(model, "get_cardinfo");
    for (int index = 0; index < count; ++index) {
        uint8_t cardId = 0;
        if (ShowFailure(library.get_cardinfo(index, &cardId), infoLabel, bar, lastStatus)) break;
        CString name;
        name.Format("%s%d", kCardPrefix[model], cardId);
        last = tree.InsertItem(name, 0, 0);
        const bool listed = InsertCardChildren(tree, last, cardId, form, model, library, bar, lastStatus);
        tree.Expand(last, TVE_EXPAND);
        if (!listed) break;
    }
    return last;
}

}  // namespace

namespace skeleton {

void PrepareProgramShade(CShadeButton& button) { button.PrepareShade(4, 8, 20, 5, 0xFF3737); }

void KeepReturnOnThePage(CWnd& page) { page.SendMessage(DM_SETDEFID, kNoDefaultButton); }

void CreateStatusPanes(CWnd& page, CStatusBar& bar, int labelWidth) {
    static const UINT indicators[] = {ID_INDICATOR_CODE, ID_INDICATOR_LABEL, ID_INDICATOR_NAME};
    bar.Create(&page);
    bar.SetIndicators(indicators, 3);
    CRect client;
    page.GetClientRect(&client);
    bar.SetPaneInfo(0, ID_INDICATOR_CODE, SBPS_NORMAL, kCodePaneWidth);
    bar.SetPaneInfo(1, ID_INDICATOR_CODE, SBPS_NORMAL, labelWidth);
    bar.SetPaneInfo(2, ID_INDICATOR_NAME, SBPS_NORMAL, client.Width());
    page.RepositionBars(AFX_IDW_CONTROLBAR_FIRST, AFX_IDW_CONTROLBAR_LAST, 0);
}

void ShowErrorCode(CStatusBar& bar, int status, LPCSTR label, LPCSTR name) {
    CString code;
    code.Format("Error Code: %d", status);
    bar.SetPaneText(0, code);
    bar.SetPaneText(1, label);
    bar.SetPaneText(2, name ? name : StatusName(status));
}

void ClearStatusPanes(CStatusBar& bar) {
    for (int pane = 0; pane < 3; ++pane) bar.SetPaneText(pane, " ");
}

void ShowStopReason(CStatusBar& bar, uint16_t state) {
    // One label for the cards of both models: technicians know the reason by it.
    if (const char* reason = StopReasonName(state))
        ShowErrorCode(bar, SUCCESS_NO_ERROR, "rm720_motion_done()", reason);
}

CString ExportLabel(int model, LPCSTR exportName) {
    CString label;
    label.Format("%s_%s()", model == kModelA ? "rm720" : "rm730", exportName);
    return label;
}

HTREEITEM FillCardTree(CTreeCtrl& tree, CImageList& images, CardTreeForm form, CStatusBar& bar,
                       int16_t& lastStatus, const MotionLibrary& (*libraryOf)(int)) {
    AttachImages(tree, images, form);
    HTREEITEM last = nullptr;
    for (int model : {kModelA, kModelB})
        last = InsertModelCards(tree, form, model, libraryOf(model), bar, lastStatus, last);
    HTREEITEM first = tree.GetRootItem();
    if (first && form != CardTreeForm::CardsOnly) first = tree.GetChildItem(first);
    if (first) tree.SelectItem(first);
    return last;
}

CardTreeSelection ReadCardTreeItem(const CTreeCtrl& tree, HTREEITEM item) {
    CardTreeSelection selection;
    if (!item) return selection;
    HTREEITEM parent = tree.GetParentItem(item);
    const CString cardText = tree.GetItemText(parent ? parent : item);
    selection.model = StartsWith(cardText, kCardPrefix[kModelA]) ? kModelA : kModelB;
    selection.cardId = std::atoi(cardText.Mid(kCardPrefixLength));
    if (!parent) return selection;
    const CString text = tree.GetItemText(item);
    if (StartsWith(text, kAxisPrefix)) {
        constexpr int at = sizeof kAxisPrefix - 1;
        const int letter = text.GetLength() > at ? CString("XYZU").Find(text[at]) : -1;
        if (letter >= 0) selection.axis = 1 << letter;
    } else if (StartsWith(text, kModulePrefix)) {
        selection.sa = std::atoi(text.Mid(sizeof kModulePrefix - 1));
    }
    return selection;
}

BOOL SelectCardTreeItem(CTreeCtrl& tree, CardTreeForm form, const CardTreeSelection& wanted) {
    // The model is compared too: cards of the two models may share an ID.
    HTREEITEM card = tree.GetRootItem();
    while (card) {
        const CardTreeSelection found = ReadCardTreeItem(tree, card);
        if (found.model == wanted.model && found.cardId == wanted.cardId) break;
        card = tree.GetNextSiblingItem(card);
    }
    HTREEITEM item = form == CardTreeForm::CardsOnly ? card : nullptr;
    for (HTREEITEM child = card ? tree.GetChildItem(card) : nullptr; child && !item;
         child = tree.GetNextSiblingItem(child)) {
        const CardTreeSelection found = ReadCardTreeItem(tree, child);
        const bool matches = form == CardTreeForm::Axes ? found.axis == wanted.axis : found.sa == wanted.sa;
        if (matches) item = child;
    }
    if (item) return tree.SelectItem(item);
    AfxMessageBox(form == CardTreeForm::TorixModules ? "Incorrect m_ActiveCardID or m_ActiveSA"
                                                     : "Incorrect m_ActiveCardID or m_ActiveAxis");
    return FALSE;
}

}  // namespace skeleton
