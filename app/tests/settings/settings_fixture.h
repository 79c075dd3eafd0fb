// What the settings tests share: the default machine's cards (model A ID 0,
// model B ID 1) opened for the whole program, files of this process, and reads
// of a card's state through the motion libraries.
#pragma once

#include <afxwin.h>

#include <string>

#include "gtest_winelib.h"
#include "motion_library.h"
#include "settings_store.h"

constexpr int kCardA = 0;  // the model-A card's ID
constexpr int kCardB = 1;  // the model-B card's ID
constexpr int kAxisX = 1, kAxisY = 2, kAxisZ = 4, kAxisU = 8;

// A Windows path of a file of this process and test, removed when the test ends.
class TestFile {
public:
    explicit TestFile(const char* tag);
    ~TestFile();
    const char* path() const { return m_path.c_str(); }
    // The file's bytes as they are on disk.
    std::string Text() const;

private:
    std::string m_path;
};

// The error-status bits of an axis (0/1 software limit +/-), -1 on failure.
int ErrorStatus(int model, int cardId, int axisBit);
// The axis's six range settings from its library.
void RangeSettings(int model, int cardId, int axisBit, int32_t limits[6]);
// The axis's speed maximum, which tells its range: 8,000 x 8,000,000 / range.
int32_t SpeedMax(int model, int cardId, int axisBit);
