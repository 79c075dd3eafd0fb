// The settings store of the test program: every setting it keeps for every
// axis of every card of both models, addressed by model (0 model A, 1 model B),
// card ID (0..15) and axis mask (1, 2, 4, 8). Pages copy a record out when they
// show it and back when they leave it; a changed hardware configuration goes to
// the card at once. The store also reads and writes the INI file of each model.
//
// The main window is the store (CMainDlg derives from it), so that pages reach
// these operations through the application's main window.
#pragma once

#include <windows.h>

#include <cstdint>

#include "settings_records.h"

class CSettingsStore {
public:
    // Scans both models and fills the store for every card found: default
    // configuration, motion parameters with the axis's range settings, and
    // interpolation parameters.
    CSettingsStore();

    // Operations on an address outside the store (model, card ID or axis mask
    // out of range, -1 for "none selected") change nothing and copy nothing out.
    void GetAxisConfig(int model, int cardId, int axisBit, AxisConfigRecord* record) const;
    // Stores the record and applies it to the card when it differs from the
    // stored one or was never applied.
    void SetAxisConfig(int model, int cardId, int axisBit, const AxisConfigRecord& record);
    // Pushes the stored record to the card; library failures are ignored.
    void ApplyAxisConfig(int model, int cardId, int axisBit);
    void GetAxisMotionParams(int model, int cardId, int axisBit, AxisMotionParams* params) const;
    void SetAxisMotionParams(int model, int cardId, int axisBit, const AxisMotionParams& params);
    void GetInterpParams(int model, int cardId, InterpParams* params) const;
    // Copies the record in unless it equals the stored one.
    void SetInterpParams(int model, int cardId, const InterpParams& params);
    // 1 when equal apart from the fields that follow others (filterMode,
    // intFactor) or the store's own flag (applied).
    static int IsSameAxisConfig(const AxisConfigRecord& a, const AxisConfigRecord& b);
    // 1 when equal apart from the page's moving flag.
    static int IsSameInterpParams(const InterpParams& a, const InterpParams& b);
    // Default hardware configuration for the card's four axes, with the servo
    // output as the card reports it; motion and interpolation records stay.
    void ResetCardSettings(int model, int cardId);
    // The Torix output words by RA group (0..15), shared by all cards; a group
    // outside the table reads 0 and keeps nothing.
    void SetTorixDoShadow(int group, uint16_t word);
    void GetTorixDoShadow(int group, uint16_t* word) const;
    void ClearTorixDoShadow();
    // Index 0..3 of the lowest of bits 0..3 of the mask; -1 when none is set.
    static int AxisIndexFromBit(int axisBit);

    // The INI file of each model (path: the file's Windows path). Saving
    // writes the cards found at start and returns FALSE when the file could not
    // be written. Loading stores and applies every axis of every card found and
    // returns FALSE when nothing was loaded: an empty path, or a file without a
    // section for every card found (a message box says so).
    // The model's default file in the Windows system folder; FALSE when the
    // Windows folder is unknown.
    static BOOL DefaultConfigPath(int model, char (&path)[MAX_PATH]);
    BOOL SaveRM720Config(const char* path);
    BOOL SaveRM730Config(const char* path);
    BOOL LoadRM720Config(const char* path);
    BOOL LoadRM730Config(const char* path);

    ModelSettings m_Settings[kModelCount];  // model A first

protected:
    int16_t m_nRM720Cards = 0;  // cards found by each model's scan
    int16_t m_nRM730Cards = 0;
    uint8_t m_RM720IdTable[kCardSlots] = {};  // non-zero at each card ID found
    uint8_t m_RM730IdTable[kCardSlots] = {};
    uint16_t m_AxisBits[kAxesPerCard] = {1, 2, 4, 8};  // X, Y, Z, U
    uint16_t m_TorixDoShadow[16] = {};                 // the Torix output words last written

private:
    CardSettings* Card(int model, int cardId);
    const CardSettings* Card(int model, int cardId) const;
    int16_t CardCount(int model) const;
    void FillModel(int model, int16_t* count, uint8_t idTable[kCardSlots]);
    void ReadRangeSettings(int model, int cardId, int axisBit, AxisMotionParams* params) const;
    void DeriveModelBDefaults(CardSettings* card, int axis);
    BOOL SaveConfig(int model, const char* path);
    BOOL LoadConfig(int model, const char* path);
};
