// The records of the settings store: per axis its hardware configuration and
// the motion parameters of the Basic Operation page, per card the interpolation
// parameters, per model the cards by card ID. Every field is one 32-bit slot
// (or two 16-bit words where noted), so records are copied whole.
#pragma once

#include <cstdint>

constexpr int kModelCount = 2;  // 0 model A (rm720_), 1 model B (rm730_)
constexpr int kCardSlots = 16;  // by card ID, the card's DIP switch
constexpr int kAxesPerCard = 4;  // X, Y, Z, U
constexpr int kFilterGroups = 5;
constexpr int kIntFactorFlags = 8;
constexpr int kRangeSettings = 6;

// The hardware configuration of one axis.
struct AxisConfigRecord {
    int32_t pulseMode = 0;        // output pulse mode 0..5
    int32_t encMode = 3;          // 0 1/1 AB, 1 1/2 AB, 2 1/4 AB, 3 CW/CCW
    int32_t limitLevel = 0;       // levels: 0 low, 1 high
    int32_t homeLevel = 0;
    int32_t nearHomeLevel = 0;
    int32_t indexLevel = 0;
    int32_t softLimitEnable = 0;
    int32_t softLimitSource = 0;  // 0 logic (command) position, 1 encoder position
    int32_t softLimitPlus = 1000000;    // pulses
    int32_t softLimitMinus = -1000000;  // pulses
    int32_t almEnable = 0;
    int32_t almLevel = 0;
    int32_t inpEnable = 0;
    int32_t inpLevel = 0;
    int32_t in3Enable = 0;  // IN3 is kept and saved, never sent to the card
    int32_t in3Level = 0;
    int32_t servoOn = 0;    // the servo output as last read
    int32_t almRstEnable = 0;  // model B outputs
    int32_t gdoEnable = 0;
    int32_t ercEnable = 0;
    int32_t ercLevel = 0;      // model B: set from the INI file only
    uint16_t ercDelayTime = 0; // model B: kept in the INI file, never sent
    uint16_t ercDelaySpare = 0;
    // "EMG, LMT, ORG, SD", "INDEX", "INP, ALM", "EXP+/-", "IN3".
    int32_t filterFlag[kFilterGroups] = {};
    uint16_t delayTime = 0;   // filter delay index 0..8 (0: none selected)
    uint16_t filterMode = 0;  // bits 0x01..0x10 mirror filterFlag[0..4]
    // Interrupt factors 0x01..0x80; 0x01 has no control and stays 0.
    int32_t intFlag[kIntFactorFlags] = {};
    int32_t reserved = 0;
    uint16_t intFactor = 0;  // OR of the set intFlag bits
    uint16_t intFactorSpare = 0;
    int32_t applied = 0;        // 1 once the record has been pushed to the card
    int32_t rangeValue = 16000; // speed range, 16000..8000000 PPS

    bool operator==(const AxisConfigRecord&) const = default;
};
static_assert(sizeof(AxisConfigRecord) == 40 * 4);

// The motion parameters of one axis on the Basic Operation page.
struct AxisMotionParams {
    int32_t sv = 10000;      // start speed, PPS
    int32_t dv = 50000;      // drive speed, PPS
    int32_t acc = 80000;     // PPS/s
    int32_t dec = 80000;     // PPS/s
    int32_t jerk = 500000;   // PPS/s^2
    int32_t decRate = 500000;
    int32_t outputPulse = 10000;  // pulses of one move
    // Near-home, home, index and offset steps of a home search: 0 off, 1 plus, 2 minus.
    int32_t homeStep[4] = {0, 1, 0, 0};
    int32_t hv = 8000;       // home-search speed, PPS
    int32_t profile = 1;     // 0 constant, 1 T-curve, 2 S-curve
    int32_t asymmetric = 0;
    int32_t mode = 0;        // 0 point to point, 1 continuous, 2 MPG, 3 reciprocation
    int16_t offsetPulses = 0;
    int16_t offsetSpare = 0;
    int32_t homeOffset = 0;
    int32_t moving = 0;
    int32_t reciprocation[2] = {};
    // The six values of get_range_settings, in its order.
    int32_t jerkMax = 0, jerkMin = 0, accMin = 0, accMax = 0, speedMin = 0, speedMax = 0;
    int32_t mpgSpeed = 1000;
    int32_t maxFrequency = 500;    // Hz
    int32_t outputPulseRatio = 1;
};
static_assert(sizeof(AxisMotionParams) == 29 * 4);

// The interpolation parameters of one card.
struct InterpParams {
    int32_t interpType = 0;  // 0 two-axis line, 1 three-axis line, 2 two-axis arc
    int32_t profile = 1;     // 0 constant, 1 T-curve, 2 S-curve
    int32_t arcDirection = 0;  // 0 CW, 1 CCW
    int32_t asymmetric = 0;
    int32_t finishPoint[3] = {70000, 70000, 70000};  // pulses
    int32_t centerPoint[2] = {35000, 35000};         // pulses
    int32_t axes[3] = {};    // main, 2nd, 3rd axis masks, 0 for none
    int32_t sv = 5000;
    int32_t v = 50000;
    int32_t acc = 80000;
    int32_t dec = 80000;
    int32_t jerk = 500000;
    int32_t decRate = 500000;
    int32_t offsetPulses = 0;
    int32_t moving = 0;
    int32_t reserved = 0;

    bool operator==(const InterpParams&) const = default;
};
static_assert(sizeof(InterpParams) == 21 * 4);

struct CardSettings {
    AxisConfigRecord axis[kAxesPerCard];
    AxisMotionParams motion[kAxesPerCard];
    InterpParams interp;
};

struct ModelSettings {
    uint8_t isModelB = 0;  // selects the library of this block
    uint8_t cardPresent[kCardSlots] = {};
    CardSettings cards[kCardSlots];
};
