// What the owner-drawn controls tests share: a visible window to create controls in,
// the message pump, and pictures of what a window shows.
#pragma once

#include <afxwin.h>

#include <memory>

#include "pixel_grid.h"

// The host dialog, made at first use and kept for the program.
CDialog& HostDialog();
// Handles the messages already queued.
void PumpPending();
// The window's client area as it shows on the screen now.
std::unique_ptr<PixelGrid> CaptureClient(HWND window);
// How many pixels of the area have the colour.
int CountColour(const PixelGrid& grid, COLORREF colour, const RECT& area);
