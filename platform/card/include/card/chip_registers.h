// Register map, command codes and bit fields of the card's motion chip, as the
// chip model decodes them and as register-level tests write them. Offsets are
// relative to the chip's window (BAR2 offsets 0x00-0x0E, 16-bit registers).
#pragma once

#include <cstdint>

namespace card::chip {

constexpr int kAxisCount = 4;

// ---- Registers -------------------------------------------------------------
constexpr std::uint32_t kRegCommand = 0x00;      // W command word      R main status
constexpr std::uint32_t kRegMode1 = 0x02;        // W mode register 1   R status register 1
constexpr std::uint32_t kRegMode2 = 0x04;        // W mode register 2   R status register 2
constexpr std::uint32_t kRegMode3 = 0x06;        // W mode register 3   R status register 3 (acknowledges)
constexpr std::uint32_t kRegOutput = 0x08;       // W output word       R input bytes of X (low), Y (high)
constexpr std::uint32_t kRegInterpMode = 0x0A;  // W interpolation mode R input bytes of Z (low), U (high)
constexpr std::uint32_t kRegDataLow = 0x0C;     // W data 0-15 of the next command  R of the last read
constexpr std::uint32_t kRegDataHigh = 0x0E;    // W data 16-31                     R of the last read
constexpr std::uint32_t kChipWindowSize = 0x10;

// ---- Command word ----------------------------------------------------------
constexpr std::uint16_t kCommandReset = 0x8000;  // the whole word: resets the chip
constexpr unsigned kCommandAxisShift = 8;
constexpr std::uint16_t kCommandAxisMask = 0x0F00;
constexpr std::uint16_t kCommandCodeMask = 0x00FF;

constexpr std::uint16_t command_word(unsigned axis_mask, std::uint8_t code) {
  return static_cast<std::uint16_t>(((axis_mask & 0xF) << kCommandAxisShift) | code);
}

// Set commands (data in kRegDataLow / kRegDataHigh).
constexpr std::uint8_t kCmdRange = 0x00;            // 32-bit
constexpr std::uint8_t kCmdJerk = 0x01;
constexpr std::uint8_t kCmdAcc = 0x02;
constexpr std::uint8_t kCmdDec = 0x03;
constexpr std::uint8_t kCmdStartSpeed = 0x04;
constexpr std::uint8_t kCmdDriveSpeed = 0x05;
constexpr std::uint8_t kCmdPulses = 0x06;           // 32-bit
constexpr std::uint8_t kCmdDecPoint = 0x07;        // 32-bit
constexpr std::uint8_t kCmdArcCenter = 0x08;       // 32-bit
constexpr std::uint8_t kCmdSetCmdCounter = 0x09;  // 32-bit
constexpr std::uint8_t kCmdSetEncCounter = 0x0A;  // 32-bit
constexpr std::uint8_t kCmdCompPlus = 0x0B;        // 32-bit
constexpr std::uint8_t kCmdCompMinus = 0x0C;       // 32-bit
constexpr std::uint8_t kCmdAccOffset = 0x0D;
constexpr std::uint8_t kCmdDecJerk = 0x0E;
constexpr std::uint8_t kCmdSelect = 0x0F;
// Read commands (result in kRegDataLow / kRegDataHigh).
constexpr std::uint8_t kCmdReadCmdCounter = 0x10;
constexpr std::uint8_t kCmdReadEncCounter = 0x11;
constexpr std::uint8_t kCmdReadSpeed = 0x12;
constexpr std::uint8_t kCmdReadAcc = 0x13;
constexpr std::uint8_t kCmdReadLatch = 0x14;
// Drive commands.
constexpr std::uint8_t kCmdDrivePlus = 0x20;
constexpr std::uint8_t kCmdDriveMinus = 0x21;
constexpr std::uint8_t kCmdContPlus = 0x22;
constexpr std::uint8_t kCmdContMinus = 0x23;
constexpr std::uint8_t kCmdDriveHold = 0x24;
constexpr std::uint8_t kCmdDriveRelease = 0x25;
constexpr std::uint8_t kCmdDecStop = 0x26;
constexpr std::uint8_t kCmdSuddenStop = 0x27;
// Interpolation commands: the axes come from kRegInterpMode, not the mask.
constexpr std::uint8_t kCmdLine2 = 0x30;
constexpr std::uint8_t kCmdLine3 = 0x31;
constexpr std::uint8_t kCmdArcCw = 0x32;
constexpr std::uint8_t kCmdArcCcw = 0x33;
constexpr std::uint8_t kCmdInterpDecOn = 0x3B;
constexpr std::uint8_t kCmdInterpDecOff = 0x3C;
// Extension words, home search, synchronous-action words.
constexpr std::uint8_t kCmdExtMode = 0x60;    // word 1 low, word 2 high
constexpr std::uint8_t kCmdHomeSpeed = 0x61;
constexpr std::uint8_t kCmdHomeStart = 0x62;
constexpr std::uint8_t kCmdSyncMode = 0x64;   // word 1 low, word 2 high

// ---- Main status (kRegCommand read) ------------------------------------------
constexpr unsigned kMainBusyShift = 0;           // bit i: axis i driving
constexpr unsigned kMainErrorShift = 4;          // bit 4+i: axis i has a status-2 error
constexpr std::uint16_t kMainContiReady = 0x0200;  // accepts the next continuous segment

// ---- Interpolation mode (kRegInterpMode write) ------------------------------
constexpr unsigned kInterpAxisBits = 2;  // master index at bits 0-1, second 2-3, third 4-5
constexpr std::uint16_t kInterpVectorSpeed = 0x0300;  // 0x100 two axes, 0x300 three: constant vector speed
constexpr std::uint16_t kInterpContinuous = 0x4000;    // segments are queued while the path runs

// ---- Status register 1 (kRegMode1 read) --------------------------------------
constexpr std::uint16_t kStatus1Driving = 0x0001;
constexpr std::uint16_t kStatus1Accelerating = 0x0002;
constexpr std::uint16_t kStatus1AtDriveSpeed = 0x0004;   // constant speed at the drive speed
constexpr std::uint16_t kStatus1ConstantSpeed = 0x0008;   // constant speed below it
constexpr std::uint16_t kStatus1Decelerating = 0x0010;
constexpr std::uint16_t kStatus1SJerkRising = 0x0020;    // S-curve: |acceleration| growing
constexpr std::uint16_t kStatus1SAccConstant = 0x0040;   // S-curve: acceleration held
constexpr std::uint16_t kStatus1SJerkFalling = 0x0080;   // S-curve: |acceleration| falling
constexpr std::uint16_t kStopLimitPlus = 0x1000;          // stop reasons, bits 8-15
constexpr std::uint16_t kStopLimitMinus = 0x2000;
constexpr std::uint16_t kStopAlarm = 0x4000;
constexpr std::uint16_t kStopEmergency = 0x8000;

// ---- Status register 2 (kRegMode2 read) --------------------------------------
constexpr std::uint16_t kStatus2SoftLimitPlus = 0x0001;
constexpr std::uint16_t kStatus2SoftLimitMinus = 0x0002;
constexpr std::uint16_t kStatus2LimitPlus = 0x0004;
constexpr std::uint16_t kStatus2LimitMinus = 0x0008;
constexpr std::uint16_t kStatus2Alarm = 0x0010;
constexpr std::uint16_t kStatus2Emergency = 0x0020;
constexpr std::uint16_t kStatus2ErrorBits = 0x003F;  // any of them sets the main error bit

// ---- Status register 3: interrupt factors ------------------------------------
// The watched counter (command or encoder, mode register 2 bit 5) reached a
// comparator value counting up or down.
constexpr std::uint16_t kFactorCompMinusUp = 0x0002;
constexpr std::uint16_t kFactorCompMinusDown = 0x0004;
constexpr std::uint16_t kFactorCompPlusDown = 0x0008;
constexpr std::uint16_t kFactorCompPlusUp = 0x0010;
constexpr std::uint16_t kFactorDriveEnd = 0x0080;  // enabled by mode register 1 bit 15
constexpr std::uint16_t kFactorHomeEnd = 0x0100;   // enabled by extension word 1 bit 5
constexpr std::uint16_t kFactorSyncAction = 0x0200;  // enabled by sync word 2 bit 15

// ---- Mode register 1 ---------------------------------------------------------
constexpr std::uint16_t kMode1NearHomeLevel = 0x0001;  // active level high
constexpr std::uint16_t kMode1HomeLevel = 0x0004;
constexpr std::uint16_t kMode1IndexLevel = 0x0010;
constexpr std::uint16_t kMode1In3Logic = 0x0040;        // IN3 active high
constexpr std::uint16_t kMode1In3Enable = 0x0080;       // IN3 latches the command counter
constexpr unsigned kMode1FactorEnableShift = 8;          // bit 8+k enables status-3 bit k

// ---- Mode register 2 ---------------------------------------------------------
constexpr std::uint16_t kMode2SoftLimitPlus = 0x0001;
constexpr std::uint16_t kMode2SoftLimitMinus = 0x0002;
constexpr std::uint16_t kMode2LimitDecStop = 0x0004;   // limits stop decelerating (else at once)
constexpr std::uint16_t kMode2LimitLogic = 0x0018;
constexpr std::uint16_t kMode2CompareEncoder = 0x0020;  // comparators watch the encoder counter
constexpr std::uint16_t kMode2PulseMode = 0x01C0;
constexpr std::uint16_t kMode2EncoderMode = 0x0E00;
constexpr std::uint16_t kMode2AlarmLogic = 0x1000;
constexpr std::uint16_t kMode2AlarmEnable = 0x2000;
constexpr std::uint16_t kMode2InpLogic = 0x4000;
constexpr std::uint16_t kMode2InpEnable = 0x8000;

// ---- Mode register 3 ---------------------------------------------------------
constexpr std::uint16_t kMode3ManualDecPoint = 0x0001;  // deceleration begins at kCmdDecPoint
constexpr std::uint16_t kMode3SeparateDec = 0x0002;      // kCmdDec / kCmdDecJerk decelerate
constexpr std::uint16_t kMode3SCurve = 0x0004;
constexpr std::uint16_t kMode3HandWheel = 0x0018;        // 0 off; 8, 16, 24 hand-wheel modes
constexpr std::uint16_t kMode3HandWheelSingle = 0x0008;

// ---- Extension-mode words ----------------------------------------------------
constexpr std::uint16_t kExt1AvoidTriangle = 0x0008;
constexpr std::uint16_t kExt1RingCounter = 0x0010;
constexpr std::uint16_t kExt1HomeEndEnable = 0x0020;
constexpr std::uint16_t kExt1Filter = 0xFF00;
// Word 2 bits 0-7: four 2-bit home-search step fields, step k at bits 2(k-1).
constexpr unsigned kHomeStepFieldBits = 2;
constexpr std::uint16_t kHomeStepEnable = 0x1;  // within a field
constexpr std::uint16_t kHomeStepMinus = 0x2;   // within a field

// Word 2 bits 11-15: the axis's compare output (trigger) and ERC pin.
constexpr std::uint16_t kExt2CompareOutput = 0x0800;  // a synchronous action pulses the pin
constexpr std::uint16_t kExt2OutputLevel = 0x1000;    // the pin's idle level: ERC on
constexpr std::uint16_t kExt2PulseWidth = 0xE000;     // trigger pulse width code (kept)

// ---- Synchronous-action words (kCmdSyncMode) ---------------------------------
// Word 1: the conditions that fire the axis's action, and its partners.
constexpr std::uint16_t kSync1CompPlusUp = 0x0001;    // as the comparator factors
constexpr std::uint16_t kSync1CompPlusDown = 0x0002;
constexpr std::uint16_t kSync1CompMinusDown = 0x0004;
constexpr std::uint16_t kSync1CompMinusUp = 0x0008;
constexpr std::uint16_t kSync1DriveStart = 0x0010;
constexpr std::uint16_t kSync1DriveEnd = 0x0020;
constexpr std::uint16_t kSync1In3Active = 0x0040;
constexpr std::uint16_t kSync1In3Inactive = 0x0080;
constexpr unsigned kSync1PartnerShift = 13;  // bit 13+k: the (k+1)-th axis after this one, X after U
// Word 2: what the axis does when it fires (bits 0-7) or a partner fires it.
constexpr std::uint16_t kSync2DrivePlus = 0x0001;  // start the loaded fixed drive
constexpr std::uint16_t kSync2DriveMinus = 0x0002;
constexpr std::uint16_t kSync2ContPlus = 0x0004;
constexpr std::uint16_t kSync2ContMinus = 0x0008;
constexpr std::uint16_t kSync2DecStop = 0x0010;
constexpr std::uint16_t kSync2SuddenStop = 0x0020;
constexpr std::uint16_t kSync2LatchCommand = 0x0040;  // command counter -> latch
constexpr std::uint16_t kSync2LatchEncoder = 0x0080;  // encoder counter -> latch
constexpr std::uint16_t kSync2DriveSpeedFromData = 0x0800;  // drive speed := kRegDataLow; arms itself
constexpr std::uint16_t kSync2Active = 0x4000;         // the axis's own conditions are watched
constexpr std::uint16_t kSync2Interrupt = 0x8000;      // firing raises kFactorSyncAction

// ---- Input byte of an axis ---------------------------------------------------
constexpr std::uint8_t kInputNearHome = 0x01;
constexpr std::uint8_t kInputHome = 0x02;
constexpr std::uint8_t kInputIndex = 0x04;
constexpr std::uint8_t kInputIn3 = 0x08;
constexpr std::uint8_t kInputExpPlus = 0x10;
constexpr std::uint8_t kInputExpMinus = 0x20;
constexpr std::uint8_t kInputInPosition = 0x40;

// ---- Output word: four bits per axis -----------------------------------------
constexpr unsigned kOutputBitsPerAxis = 4;
constexpr std::uint16_t kOutputServoOn = 0x2;     // shifted by 4 x axis
constexpr std::uint16_t kOutputAlarmReset = 0x4;
constexpr std::uint16_t kOutputGdo = 0x8;

// ---- Power-on values ---------------------------------------------------------
constexpr std::uint32_t kDefaultRange = 16000;
constexpr std::uint32_t kMinRange = 16000;
constexpr std::uint32_t kMaxRange = 8000000;

}  // namespace card::chip
