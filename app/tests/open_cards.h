// Keeps the cards of both models open for the whole test program, as while the
// test program runs: register it with testing::AddGlobalTestEnvironment.
#pragma once

#include "gtest_winelib.h"
#include "rm720.h"
#include "rm730.h"

class OpenCardsEnvironment : public testing::Environment {
public:
    void SetUp() override {
        ASSERT_EQ(rm720_open_all(), SUCCESS_NO_ERROR);
        ASSERT_EQ(rm730_open_all(), SUCCESS_NO_ERROR);
    }
    void TearDown() override {
        rm720_close_all();
        rm730_close_all();
    }
};
