// What the four pages share of their skeleton: the three-pane status bar, the
// status and stop-reason display, the card tree and the label of a library
// call. Each page keeps its own members (m_ActiveModel, m_ActiveCardID, its item
// selection, m_nLastStatus, the status bar, the tree and its image list) and its
// own FillCardTree / ShowErrorCode / ClearStatusPanes / ShowStopReason, each one
// line over these helpers:
//
//   BOOL CSomePage::OnInitDialog() {
//       CDialog::OnInitDialog();
//       skeleton::CreateStatusPanes(*this, m_wndStatusBar);            // Torix page: kTorixLabelPaneWidth
//       skeleton::KeepReturnOnThePage(*this);
//       FillCardTree();
//       ...
//   }
//   void CSomePage::FillCardTree() {
//       skeleton::FillCardTree(m_tree, m_images, CardTreeForm::Axes, m_wndStatusBar, m_nLastStatus);
//   }
//   void CSomePage::ShowErrorCode(LPCSTR label) { skeleton::ShowErrorCode(m_wndStatusBar, m_nLastStatus, label); }
//   void CSomePage::ClearStatusPanes() { skeleton::ClearStatusPanes(m_wndStatusBar); }
//   void CSomePage::ShowStopReason(uint16_t state) { skeleton::ShowStopReason(m_wndStatusBar, state); }
//
// A call goes to the library of the selected card's model and is labelled
// after it:
//   m_nLastStatus = MotionLibraryOf(m_ActiveModel).set_inp(...);
//   if (m_nLastStatus != 0) ShowErrorCode(skeleton::ExportLabel(m_ActiveModel, "set_inp"));
// The tree's selection-change handler reads the item back with
// skeleton::ReadCardTreeItem; skeleton::SelectCardTreeItem finds a kept
// selection again.
#pragma once

#include <afxcmn.h>
#include <afxext.h>
#include <afxwin.h>

#include <cstdint>

#include "motion_library.h"
#include "shade_button.h"

// What a card tree lists below each card.
enum class CardTreeForm {
    Axes,          // "AXIS-X" .. "AXIS-U" (Axis Configuration, Basic Operation)
    CardsOnly,     // nothing: the card items are selected (Interpolation Move)
    TorixModules,  // the card's Torix input modules, "TORIX_SA8" .. "TORIX_SA15" (Torix DI/DO)
};

// What a tree item stands for; -1 where it says nothing.
struct CardTreeSelection {
    int model = -1;   // kModelA or kModelB
    int cardId = -1;  // 0..15
    int axis = -1;    // axis bit of an axis item
    int sa = -1;      // Torix input-module address of a module item

    bool operator==(const CardTreeSelection&) const = default;
};

namespace skeleton {

// The shading every button of the program wears.
void PrepareProgramShade(CShadeButton& button);

constexpr int kCodePaneWidth = 90;
constexpr int kLabelPaneWidth = 180;
constexpr int kTorixLabelPaneWidth = 110;

// Creates the page's status bar along its bottom: the code, the label and the
// name panes, all blank.
void CreateStatusPanes(CWnd& page, CStatusBar& bar, int labelWidth = kLabelPaneWidth);

// Return pressed in an edit (after a typed value) would "click" the page's IDOK
// button ("To Config", "To Basic Operation"), or end a page that has none, and
// open another page: the page gets a default button id that no control has, so
// only a push button with the focus takes Return.
void KeepReturnOnThePage(CWnd& page);
constexpr int kNoDefaultButton = 0xFFFE;
// "Error Code: <status>", the label, and the status's name (name, when given,
// in place of the program's own).
void ShowErrorCode(CStatusBar& bar, int status, LPCSTR label, LPCSTR name = nullptr);
// A single blank in each pane.
void ClearStatusPanes(CStatusBar& bar);
// The first stop reason set in a motion_done state word, under the label
// "rm720_motion_done()" whatever the card's model; the panes stay as they are
// when the word holds none.
void ShowStopReason(CStatusBar& bar, uint16_t state);
// The label of an export of the model's library: "rm720_t_move()".
CString ExportLabel(int model, LPCSTR exportName);

// Fills the tree with the cards of model A then model B and the form's items
// below each, then selects the first item of the form (the first axis or
// module of the first card, or the first card). A failed card-information or
// module scan is shown and ends that model's cards. libraryOf gives each
// model's library (tests put their own in). Returns the last card item
// inserted, nullptr when none.
HTREEITEM FillCardTree(CTreeCtrl& tree, CImageList& images, CardTreeForm form, CStatusBar& bar,
                       int16_t& lastStatus, const MotionLibrary& (*libraryOf)(int) = MotionLibraryOf);

// Reads what an item stands for from its text and its card item's text.
CardTreeSelection ReadCardTreeItem(const CTreeCtrl& tree, HTREEITEM item);

// Selects the item of a kept selection (the card's axis item, module item, or
// the card item itself for CardsOnly); when there is none, says so in a
// message box and returns FALSE.
BOOL SelectCardTreeItem(CTreeCtrl& tree, CardTreeForm form, const CardTreeSelection& wanted);

}  // namespace skeleton
