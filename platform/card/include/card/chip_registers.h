// Register map, command codes and bit fields of the card's motion chip, as the
// chip model decodes them and as register-level tests write them. Offsets are
// relative to the chip's window (BAR2 offsets 0x00-0x0E, 16-bit registers).
#pragma once

#include <cstdint>

namespace card::chip {

constexpr int kAxisCount = 4;

// ---- Registers -------------------------------------------------------------
constexpr std::uint32_t REG_COMMAND = 0x00;      // W command word      R main status
constexpr std::uint32_t REG_MODE1 = 0x02;        // W mode register 1   R status register 1
constexpr std::uint32_t REG_MODE2 = 0x04;        // W mode register 2   R status register 2
constexpr std::uint32_t REG_MODE3 = 0x06;        // W mode register 3   R status register 3 (acknowledges)
constexpr std::uint32_t REG_OUTPUT = 0x08;       // W output word       R input bytes of X (low), Y (high)
constexpr std::uint32_t REG_INTERP_MODE = 0x0A;  // W interpolation mode R input bytes of Z (low), U (high)
constexpr std::uint32_t REG_DATA_LOW = 0x0C;     // W data 0-15 of the next command  R of the last read
constexpr std::uint32_t REG_DATA_HIGH = 0x0E;    // W data 16-31                     R of the last read
constexpr std::uint32_t kChipWindowSize = 0x10;

// ---- Command word ----------------------------------------------------------
constexpr std::uint16_t kCommandReset = 0x8000;  // the whole word: resets the chip
constexpr unsigned kCommandAxisShift = 8;
constexpr std::uint16_t kCommandAxisMask = 0x0F00;
constexpr std::uint16_t kCommandCodeMask = 0x00FF;

constexpr std::uint16_t command_word(unsigned axis_mask, std::uint8_t code) {
  return static_cast<std::uint16_t>(((axis_mask & 0xF) << kCommandAxisShift) | code);
}

// Set commands (data in REG_DATA_LOW / REG_DATA_HIGH).
constexpr std::uint8_t CHIP_RANGE = 0x00;            // 32-bit
constexpr std::uint8_t CHIP_JERK = 0x01;
constexpr std::uint8_t CHIP_ACC = 0x02;
constexpr std::uint8_t CHIP_DEC = 0x03;
constexpr std::uint8_t CHIP_START_SPEED = 0x04;
constexpr std::uint8_t CHIP_DRIVE_SPEED = 0x05;
constexpr std::uint8_t CHIP_PULSES = 0x06;           // 32-bit
constexpr std::uint8_t CHIP_DEC_POINT = 0x07;        // 32-bit
constexpr std::uint8_t CHIP_ARC_CENTER = 0x08;       // 32-bit
constexpr std::uint8_t CHIP_SET_CMD_COUNTER = 0x09;  // 32-bit
constexpr std::uint8_t CHIP_SET_ENC_COUNTER = 0x0A;  // 32-bit
constexpr std::uint8_t CHIP_COMP_PLUS = 0x0B;        // 32-bit
constexpr std::uint8_t CHIP_COMP_MINUS = 0x0C;       // 32-bit
constexpr std::uint8_t CHIP_ACC_OFFSET = 0x0D;
constexpr std::uint8_t CHIP_DEC_JERK = 0x0E;
constexpr std::uint8_t CHIP_SELECT = 0x0F;
// Read commands (result in REG_DATA_LOW / REG_DATA_HIGH).
constexpr std::uint8_t CHIP_READ_CMD_COUNTER = 0x10;
constexpr std::uint8_t CHIP_READ_ENC_COUNTER = 0x11;
constexpr std::uint8_t CHIP_READ_SPEED = 0x12;
constexpr std::uint8_t CHIP_READ_ACC = 0x13;
constexpr std::uint8_t CHIP_READ_LATCH = 0x14;
// Drive commands.
constexpr std::uint8_t CHIP_DRIVE_PLUS = 0x20;
constexpr std::uint8_t CHIP_DRIVE_MINUS = 0x21;
constexpr std::uint8_t CHIP_CONT_PLUS = 0x22;
constexpr std::uint8_t CHIP_CONT_MINUS = 0x23;
constexpr std::uint8_t CHIP_DRIVE_HOLD = 0x24;
constexpr std::uint8_t CHIP_DRIVE_RELEASE = 0x25;
constexpr std::uint8_t CHIP_DEC_STOP = 0x26;
constexpr std::uint8_t CHIP_SUDDEN_STOP = 0x27;
// Interpolation commands: the axes come from REG_INTERP_MODE, not the mask.
constexpr std::uint8_t CHIP_LINE2 = 0x30;
constexpr std::uint8_t CHIP_LINE3 = 0x31;
constexpr std::uint8_t CHIP_ARC_CW = 0x32;
constexpr std::uint8_t CHIP_ARC_CCW = 0x33;
constexpr std::uint8_t CHIP_INTERP_DEC_ON = 0x3B;
constexpr std::uint8_t CHIP_INTERP_DEC_OFF = 0x3C;
// Extension words, home search, synchronous-action words.
constexpr std::uint8_t CHIP_EXT_MODE = 0x60;    // word 1 low, word 2 high
constexpr std::uint8_t CHIP_HOME_SPEED = 0x61;
constexpr std::uint8_t CHIP_HOME_START = 0x62;
constexpr std::uint8_t CHIP_SYNC_MODE = 0x64;   // word 1 low, word 2 high

// ---- Main status (REG_COMMAND read) ------------------------------------------
constexpr unsigned kMainBusyShift = 0;           // bit i: axis i driving
constexpr unsigned kMainErrorShift = 4;          // bit 4+i: axis i has a status-2 error
constexpr std::uint16_t kMainContiReady = 0x0200;  // accepts the next continuous segment

// ---- Interpolation mode (REG_INTERP_MODE write) ------------------------------
constexpr unsigned kInterpAxisBits = 2;  // master index at bits 0-1, second 2-3, third 4-5
constexpr std::uint16_t INTERP_VECTOR_SPEED = 0x0300;  // 0x100 two axes, 0x300 three: constant vector speed
constexpr std::uint16_t INTERP_CONTINUOUS = 0x4000;    // segments are queued while the path runs

// ---- Status register 1 (REG_MODE1 read) --------------------------------------
constexpr std::uint16_t STATUS1_DRIVING = 0x0001;
constexpr std::uint16_t STATUS1_ACCELERATING = 0x0002;
constexpr std::uint16_t STATUS1_AT_DRIVE_SPEED = 0x0004;   // constant speed at the drive speed
constexpr std::uint16_t STATUS1_CONSTANT_SPEED = 0x0008;   // constant speed below it
constexpr std::uint16_t STATUS1_DECELERATING = 0x0010;
constexpr std::uint16_t STATUS1_S_JERK_RISING = 0x0020;    // S-curve: |acceleration| growing
constexpr std::uint16_t STATUS1_S_ACC_CONSTANT = 0x0040;   // S-curve: acceleration held
constexpr std::uint16_t STATUS1_S_JERK_FALLING = 0x0080;   // S-curve: |acceleration| falling
constexpr std::uint16_t STOP_LIMIT_PLUS = 0x1000;          // stop reasons, bits 8-15
constexpr std::uint16_t STOP_LIMIT_MINUS = 0x2000;
constexpr std::uint16_t STOP_ALARM = 0x4000;
constexpr std::uint16_t STOP_EMERGENCY = 0x8000;

// ---- Status register 2 (REG_MODE2 read) --------------------------------------
constexpr std::uint16_t STATUS2_SOFT_LIMIT_PLUS = 0x0001;
constexpr std::uint16_t STATUS2_SOFT_LIMIT_MINUS = 0x0002;
constexpr std::uint16_t STATUS2_LIMIT_PLUS = 0x0004;
constexpr std::uint16_t STATUS2_LIMIT_MINUS = 0x0008;
constexpr std::uint16_t STATUS2_ALARM = 0x0010;
constexpr std::uint16_t STATUS2_EMERGENCY = 0x0020;
constexpr std::uint16_t kStatus2ErrorBits = 0x003F;  // any of them sets the main error bit

// ---- Status register 3: interrupt factors ------------------------------------
// The watched counter (command or encoder, mode register 2 bit 5) reached a
// comparator value counting up or down.
constexpr std::uint16_t FACTOR_COMP_MINUS_UP = 0x0002;
constexpr std::uint16_t FACTOR_COMP_MINUS_DOWN = 0x0004;
constexpr std::uint16_t FACTOR_COMP_PLUS_DOWN = 0x0008;
constexpr std::uint16_t FACTOR_COMP_PLUS_UP = 0x0010;
constexpr std::uint16_t FACTOR_DRIVE_END = 0x0080;  // enabled by mode register 1 bit 15
constexpr std::uint16_t FACTOR_HOME_END = 0x0100;   // enabled by extension word 1 bit 5
constexpr std::uint16_t FACTOR_SYNC_ACTION = 0x0200;  // enabled by sync word 2 bit 15

// ---- Mode register 1 ---------------------------------------------------------
constexpr std::uint16_t MODE1_NEAR_HOME_LEVEL = 0x0001;  // active level high
constexpr std::uint16_t MODE1_HOME_LEVEL = 0x0004;
constexpr std::uint16_t MODE1_INDEX_LEVEL = 0x0010;
constexpr std::uint16_t MODE1_IN3_LOGIC = 0x0040;        // IN3 active high
constexpr std::uint16_t MODE1_IN3_ENABLE = 0x0080;       // IN3 latches the command counter
constexpr unsigned kMode1FactorEnableShift = 8;          // bit 8+k enables status-3 bit k

// ---- Mode register 2 ---------------------------------------------------------
constexpr std::uint16_t MODE2_SOFT_LIMIT_PLUS = 0x0001;
constexpr std::uint16_t MODE2_SOFT_LIMIT_MINUS = 0x0002;
constexpr std::uint16_t MODE2_LIMIT_DEC_STOP = 0x0004;   // limits stop decelerating (else at once)
constexpr std::uint16_t MODE2_LIMIT_LOGIC = 0x0018;
constexpr std::uint16_t MODE2_COMPARE_ENCODER = 0x0020;  // comparators watch the encoder counter
constexpr std::uint16_t MODE2_PULSE_MODE = 0x01C0;
constexpr std::uint16_t MODE2_ENCODER_MODE = 0x0E00;
constexpr std::uint16_t MODE2_ALARM_LOGIC = 0x1000;
constexpr std::uint16_t MODE2_ALARM_ENABLE = 0x2000;
constexpr std::uint16_t MODE2_INP_LOGIC = 0x4000;
constexpr std::uint16_t MODE2_INP_ENABLE = 0x8000;

// ---- Mode register 3 ---------------------------------------------------------
constexpr std::uint16_t MODE3_MANUAL_DEC_POINT = 0x0001;  // deceleration begins at CHIP_DEC_POINT
constexpr std::uint16_t MODE3_SEPARATE_DEC = 0x0002;      // CHIP_DEC / CHIP_DEC_JERK decelerate
constexpr std::uint16_t MODE3_S_CURVE = 0x0004;
constexpr std::uint16_t MODE3_HAND_WHEEL = 0x0018;        // 0 off; 8, 16, 24 hand-wheel modes
constexpr std::uint16_t MODE3_HAND_WHEEL_SINGLE = 0x0008;

// ---- Extension-mode words ----------------------------------------------------
constexpr std::uint16_t EXT1_AVOID_TRIANGLE = 0x0008;
constexpr std::uint16_t EXT1_RING_COUNTER = 0x0010;
constexpr std::uint16_t EXT1_HOME_END_ENABLE = 0x0020;
constexpr std::uint16_t EXT1_FILTER = 0xFF00;
// Word 2 bits 0-7: four 2-bit home-search step fields, step k at bits 2(k-1).
constexpr unsigned kHomeStepFieldBits = 2;
constexpr std::uint16_t HOME_STEP_ENABLE = 0x1;  // within a field
constexpr std::uint16_t HOME_STEP_MINUS = 0x2;   // within a field

// Word 2 bits 11-15: the axis's compare output (trigger) and ERC pin.
constexpr std::uint16_t EXT2_COMPARE_OUTPUT = 0x0800;  // a synchronous action pulses the pin
constexpr std::uint16_t EXT2_OUTPUT_LEVEL = 0x1000;    // the pin's idle level: ERC on
constexpr std::uint16_t EXT2_PULSE_WIDTH = 0xE000;     // trigger pulse width code (kept)

// ---- Synchronous-action words (CHIP_SYNC_MODE) ---------------------------------
// Word 1: the conditions that fire the axis's action, and its partners.
constexpr std::uint16_t SYNC1_COMP_PLUS_UP = 0x0001;    // as the comparator factors
constexpr std::uint16_t SYNC1_COMP_PLUS_DOWN = 0x0002;
constexpr std::uint16_t SYNC1_COMP_MINUS_DOWN = 0x0004;
constexpr std::uint16_t SYNC1_COMP_MINUS_UP = 0x0008;
constexpr std::uint16_t SYNC1_DRIVE_START = 0x0010;
constexpr std::uint16_t SYNC1_DRIVE_END = 0x0020;
constexpr std::uint16_t SYNC1_IN3_ACTIVE = 0x0040;
constexpr std::uint16_t SYNC1_IN3_INACTIVE = 0x0080;
constexpr unsigned kSync1PartnerShift = 13;  // bit 13+k: the (k+1)-th axis after this one, X after U
// Word 2: what the axis does when it fires (bits 0-7) or a partner fires it.
constexpr std::uint16_t SYNC2_DRIVE_PLUS = 0x0001;  // start the loaded fixed drive
constexpr std::uint16_t SYNC2_DRIVE_MINUS = 0x0002;
constexpr std::uint16_t SYNC2_CONT_PLUS = 0x0004;
constexpr std::uint16_t SYNC2_CONT_MINUS = 0x0008;
constexpr std::uint16_t SYNC2_DEC_STOP = 0x0010;
constexpr std::uint16_t SYNC2_SUDDEN_STOP = 0x0020;
constexpr std::uint16_t SYNC2_LATCH_COMMAND = 0x0040;  // command counter -> latch
constexpr std::uint16_t SYNC2_LATCH_ENCODER = 0x0080;  // encoder counter -> latch
constexpr std::uint16_t SYNC2_DRIVE_SPEED_FROM_DATA = 0x0800;  // drive speed := REG_DATA_LOW; arms itself
constexpr std::uint16_t SYNC2_ACTIVE = 0x4000;         // the axis's own conditions are watched
constexpr std::uint16_t SYNC2_INTERRUPT = 0x8000;      // firing raises FACTOR_SYNC_ACTION

// ---- Input byte of an axis ---------------------------------------------------
constexpr std::uint8_t INPUT_NEAR_HOME = 0x01;
constexpr std::uint8_t INPUT_HOME = 0x02;
constexpr std::uint8_t INPUT_INDEX = 0x04;
constexpr std::uint8_t INPUT_IN3 = 0x08;
constexpr std::uint8_t INPUT_EXP_PLUS = 0x10;
constexpr std::uint8_t INPUT_EXP_MINUS = 0x20;
constexpr std::uint8_t INPUT_IN_POSITION = 0x40;

// ---- Output word: four bits per axis -----------------------------------------
constexpr unsigned kOutputBitsPerAxis = 4;
constexpr std::uint16_t OUTPUT_SERVO_ON = 0x2;     // shifted by 4 x axis
constexpr std::uint16_t OUTPUT_ALARM_RESET = 0x4;
constexpr std::uint16_t OUTPUT_GDO = 0x8;

// ---- Power-on values ---------------------------------------------------------
constexpr std::uint32_t kDefaultRange = 16000;
constexpr std::uint32_t kMinRange = 16000;
constexpr std::uint32_t kMaxRange = 8000000;

}  // namespace card::chip
