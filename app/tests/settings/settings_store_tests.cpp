// The settings store: its records and defaults, its addressing, and a record
// applied to a simulated card, read back through the motion libraries.
#include "settings_fixture.h"

namespace {

constexpr int kSoftLimitPlusBit = 0x01, kSoftLimitMinusBit = 0x02;

AxisConfigRecord StoredConfig(const CSettingsStore& store, int model, int cardId, int axisBit) {
    AxisConfigRecord record;
    record.pulseMode = -99;  // a copy that was not made shows
    store.GetAxisConfig(model, cardId, axisBit, &record);
    return record;
}

AxisMotionParams StoredMotion(const CSettingsStore& store, int model, int cardId, int axisBit) {
    AxisMotionParams params;
    store.GetAxisMotionParams(model, cardId, axisBit, &params);
    return params;
}

TEST(SettingsStore, FillsEveryCardFoundWithDefaultsAndTheLibrarysRanges) {
    CSettingsStore store;
    EXPECT_EQ(store.m_Settings[kModelA].isModelB, 0);
    EXPECT_EQ(store.m_Settings[kModelB].isModelB, 1);
    EXPECT_EQ(store.m_Settings[kModelA].cardPresent[kCardA], 1);
    EXPECT_EQ(store.m_Settings[kModelB].cardPresent[kCardB], 1);
    EXPECT_EQ(store.m_Settings[kModelA].cardPresent[kCardB], 0);

    for (const int model : {kModelA, kModelB}) {
        const int cardId = model == kModelA ? kCardA : kCardB;
        for (const int axisBit : {kAxisX, kAxisY, kAxisZ, kAxisU}) {
            AxisConfigRecord expected;
            expected.servoOn = StoredConfig(store, model, cardId, axisBit).servoOn;
            EXPECT_EQ(StoredConfig(store, model, cardId, axisBit), expected) << model << " " << axisBit;
            const AxisMotionParams motion = StoredMotion(store, model, cardId, axisBit);
            int32_t limits[6] = {};
            RangeSettings(model, cardId, axisBit, limits);
            const int32_t stored[6] = {motion.jerkMax, motion.jerkMin, motion.accMin,
                                       motion.accMax,  motion.speedMin, motion.speedMax};
            for (int i = 0; i < 6; ++i) EXPECT_EQ(stored[i], limits[i]) << "range setting " << i;
        }
        InterpParams interp;
        store.GetInterpParams(model, cardId, &interp);
        EXPECT_EQ(interp, InterpParams{});
    }
}

TEST(SettingsStore, AddressesAxesByTheLowestBitAndIgnoresAddressesOutsideTheStore) {
    const int cases[][2] = {{1, 0}, {2, 1}, {4, 2}, {8, 3}, {3, 0}, {12, 2}, {0, -1}, {16, -1}, {-1, 0}};
    for (const auto& c : cases) EXPECT_EQ(CSettingsStore::AxisIndexFromBit(c[0]), c[1]) << c[0];

    // A page with nothing selected passes -1: nothing is read or written.
    CSettingsStore store;
    AxisConfigRecord changed;
    changed.rangeValue = 32000;
    for (const auto& [model, card, axis] : {std::tuple{-1, kCardA, kAxisX}, {2, kCardA, kAxisX},
                                            {kModelA, -1, kAxisX}, {kModelA, 16, kAxisX}, {kModelA, kCardA, 0}}) {
        store.SetAxisConfig(model, card, axis, changed);
        AxisConfigRecord untouched;
        untouched.pulseMode = -99;
        store.GetAxisConfig(model, card, axis, &untouched);
        EXPECT_EQ(untouched.pulseMode, -99) << model << " " << card << " " << axis;
    }
    EXPECT_EQ(StoredConfig(store, kModelA, kCardA, kAxisX).rangeValue, 16000);
    EXPECT_EQ(SpeedMax(kModelA, kCardA, kAxisX), 4000000);

    store.SetTorixDoShadow(3, 0xBEEF);
    store.SetTorixDoShadow(-1, 0x1234);
    store.SetTorixDoShadow(16, 0x1234);
    uint16_t word = 0xFFFF;
    store.GetTorixDoShadow(-1, &word);
    EXPECT_EQ(word, 0);
    store.GetTorixDoShadow(3, &word);
    EXPECT_EQ(word, 0xBEEF);
    store.ClearTorixDoShadow();
    store.GetTorixDoShadow(3, &word);
    EXPECT_EQ(word, 0);
}

TEST(SettingsStore, StoresInterpolationParametersThatDifferInMoreThanTheMovingFlag) {
    CSettingsStore store;
    InterpParams moving;
    moving.moving = 1;
    store.SetInterpParams(kModelB, kCardB, moving);
    InterpParams stored;
    store.GetInterpParams(kModelB, kCardB, &stored);
    EXPECT_EQ(stored.moving, 0);  // differs only in the flag: not stored
    moving.v = 1234;
    store.SetInterpParams(kModelB, kCardB, moving);
    store.GetInterpParams(kModelB, kCardB, &stored);
    EXPECT_EQ(stored.v, 1234);
    EXPECT_EQ(stored.moving, 1);
}

// The card's range tells whether the store sent the record: it is changed
// behind the store's back, and comes back only when the record is applied.
TEST(SettingsStore, AppliesAStoredRecordOnlyWhenItChangedOrWasNeverApplied) {
    CSettingsStore store;
    AxisConfigRecord record = StoredConfig(store, kModelA, kCardA, kAxisY);
    ASSERT_EQ(record.applied, 0);
    store.SetAxisConfig(kModelA, kCardA, kAxisY, record);  // never applied: sent
    EXPECT_EQ(StoredConfig(store, kModelA, kCardA, kAxisY).applied, 1);

    ASSERT_EQ(rm720_set_range(kCardA, kAxisY, 32000), SUCCESS_NO_ERROR);
    record = StoredConfig(store, kModelA, kCardA, kAxisY);
    store.SetAxisConfig(kModelA, kCardA, kAxisY, record);
    record.filterMode = 0x03;  // follows filterFlag: no change of its own
    record.intFactor = 0x80;
    store.SetAxisConfig(kModelA, kCardA, kAxisY, record);
    EXPECT_EQ(SpeedMax(kModelA, kCardA, kAxisY), 2000000);
    EXPECT_EQ(StoredConfig(store, kModelA, kCardA, kAxisY).filterMode, 0);

    record.inpLevel = 1;
    store.SetAxisConfig(kModelA, kCardA, kAxisY, record);
    EXPECT_EQ(SpeedMax(kModelA, kCardA, kAxisY), 4000000);
    EXPECT_EQ(StoredConfig(store, kModelA, kCardA, kAxisY).applied, 1);
    EXPECT_EQ(StoredConfig(store, kModelA, kCardA, kAxisY).filterMode, 0x03);
}

TEST(SettingsStore, AppliedRecordConfiguresTheCard) {
    for (const int model : {kModelA, kModelB}) {
        SCOPED_TRACE(model);
        const int cardId = model == kModelA ? kCardA : kCardB;
        CSettingsStore store;
        AxisConfigRecord record = StoredConfig(store, model, cardId, kAxisZ);
        record.rangeValue = 160000;  // M = 50
        record.softLimitEnable = 1;
        record.softLimitPlus = -5;  // the counter (0) is beyond it
        record.softLimitMinus = -100;
        record.pulseMode = 5;
        record.encMode = 1;
        record.limitLevel = 1;
        record.homeLevel = record.nearHomeLevel = record.indexLevel = 1;
        record.inpEnable = record.inpLevel = 1;
        record.almEnable = 1;
        record.delayTime = 3;
        record.filterMode = 0x05;
        record.intFlag[7] = 1;
        record.intFactor = 0x80;
        record.almRstEnable = record.gdoEnable = record.ercEnable = record.ercLevel = 1;
        store.SetAxisConfig(model, cardId, kAxisZ, record);

        EXPECT_EQ(SpeedMax(model, cardId, kAxisZ), 400000);
        EXPECT_EQ(StoredMotion(store, model, cardId, kAxisZ).speedMax, 400000);
        EXPECT_EQ(ErrorStatus(model, cardId, kAxisZ) & kSoftLimitPlusBit, kSoftLimitPlusBit);

        record.softLimitSource = 1;
        record.softLimitPlus = 100;
        record.softLimitMinus = 5;
        store.SetAxisConfig(model, cardId, kAxisZ, record);
        EXPECT_EQ(ErrorStatus(model, cardId, kAxisZ) & 3, kSoftLimitMinusBit);

        store.SetAxisConfig(model, cardId, kAxisZ, AxisConfigRecord{});
        EXPECT_EQ(ErrorStatus(model, cardId, kAxisZ) & 3, 0);
        EXPECT_EQ(SpeedMax(model, cardId, kAxisZ), 4000000);
    }
}

TEST(SettingsStore, ModelBDerivesItsMotionDefaultsFromTheAxisLimitsAtEveryApply) {
    CSettingsStore store;
    AxisConfigRecord record = StoredConfig(store, kModelB, kCardB, kAxisU);
    record.rangeValue = 80000;  // speed min 100 PPS
    store.SetAxisConfig(kModelB, kCardB, kAxisU, record);
    AxisMotionParams motion = StoredMotion(store, kModelB, kCardB, kAxisU);
    ASSERT_EQ(motion.speedMin, 100);
    EXPECT_EQ(motion.sv, 2000);
    EXPECT_EQ(motion.dv, 10000);
    EXPECT_EQ(motion.hv, 1600);
    EXPECT_EQ(motion.acc, static_cast<int32_t>(motion.accMin * 1.28));
    EXPECT_EQ(motion.dec, motion.acc);
    EXPECT_EQ(motion.jerk, static_cast<int32_t>(motion.jerkMin * 1.0485609549454329));
    EXPECT_EQ(motion.decRate, motion.jerk);
    InterpParams interp;
    store.GetInterpParams(kModelB, kCardB, &interp);
    EXPECT_EQ(interp.sv, 1000);
    EXPECT_EQ(interp.v, 10000);
    EXPECT_EQ(interp.acc, motion.acc);

    // Model A keeps what the page set.
    AxisMotionParams params = StoredMotion(store, kModelA, kCardA, kAxisU);
    params.sv = 1234;
    store.SetAxisMotionParams(kModelA, kCardA, kAxisU, params);
    store.ApplyAxisConfig(kModelA, kCardA, kAxisU);
    EXPECT_EQ(StoredMotion(store, kModelA, kCardA, kAxisU).sv, 1234);
    store.SetAxisConfig(kModelB, kCardB, kAxisU, AxisConfigRecord{});
}

TEST(SettingsStore, ResetReadsTheServoOutputAndKeepsMotionRecords) {
    CSettingsStore store;
    AxisMotionParams params = StoredMotion(store, kModelA, kCardA, kAxisX);
    params.dv = 4321;
    store.SetAxisMotionParams(kModelA, kCardA, kAxisX, params);
    AxisConfigRecord record;
    record.pulseMode = 4;
    store.SetAxisConfig(kModelA, kCardA, kAxisX, record);

    ASSERT_EQ(rm720_servo_on(kCardA, kAxisX, 1, 1), SUCCESS_NO_ERROR);
    store.ResetCardSettings(kModelA, kCardA);
    EXPECT_EQ(StoredConfig(store, kModelA, kCardA, kAxisX).servoOn, 1);
    EXPECT_EQ(StoredConfig(store, kModelA, kCardA, kAxisX).pulseMode, 0);
    EXPECT_EQ(StoredConfig(store, kModelA, kCardA, kAxisY).servoOn, 0);
    EXPECT_EQ(StoredMotion(store, kModelA, kCardA, kAxisX).dv, 4321);

    ASSERT_EQ(rm720_servo_on(kCardA, kAxisX, 0, 1), SUCCESS_NO_ERROR);
    store.ResetCardSettings(kModelA, kCardA);
    EXPECT_EQ(StoredConfig(store, kModelA, kCardA, kAxisX).servoOn, 0);
}

}  // namespace
