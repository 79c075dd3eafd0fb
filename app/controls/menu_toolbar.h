// CMenuToolBar: a hidden toolbar that reads a toolbar resource (button commands and
// image size) and the bitmap strip of the same name, so that a menu can take the
// buttons' images for its items.
#pragma once

#include <afxwin.h>
#include <afxext.h>

class CMenuToolBar : public CToolBar {
public:
    ~CMenuToolBar() override;

    // Nonzero when the buttons and their images were loaded; create the window first.
    BOOL LoadToolBar(LPCSTR name);
    BOOL LoadToolBar(UINT id) { return LoadToolBar(MAKEINTRESOURCEA(id)); }
    // The image size of the last successful load; 0, 0 before.
    void GetImageSize(int& width, int& height) const {
        width = m_nImageWidth;
        height = m_nImageHeight;
    }

private:
    BOOL LoadImageStrip(LPCSTR name);

    int m_nImageWidth = 0;
    int m_nImageHeight = 0;
};
