// The test program's application object: finds the cards of both models, opens
// them, runs the main window and closes the cards when it ends.
#pragma once

#include <afxwin.h>

#include <cstdint>

class CKavrelApp : public CWinApp {
public:
    // Runs the whole program; returns FALSE so that the framework ends it after.
    BOOL InitInstance() override;

private:
    // Scans both models; shows why the program cannot start and returns FALSE.
    BOOL FindCards();

    int16_t m_nCardCount = 0;        // cards of both models found at start
    uint8_t m_CardIdTable[16] = {};  // non-zero at each card ID found, either model
};
