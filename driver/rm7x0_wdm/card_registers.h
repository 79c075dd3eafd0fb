/* The card's registers as the driver sees them: the PCI bridge (BAR0), the
 * card's CPLD and motion chip (BAR2), the chip's command codes and the bits
 * of every register and chip word the driver writes or reads. Each register
 * and bit is named here once; the handlers use these names, never the
 * numbers. Fields are masks in place; a *_SHIFT or *_BITS gives a position
 * or a width. */
#ifndef RM7X0_CARD_REGISTERS_H
#define RM7X0_CARD_REGISTERS_H

/* ---- BAR0: the PCI bridge ---------------------------------------------- */

#define BRIDGE_BAR 0
#define INTCSR 0x4C                   /* interrupt control and status, 32-bit */
#define INTCSR_LOCAL1_ENABLE 0x001u   /* motion chip */
#define INTCSR_LOCAL1_POLARITY 0x002u
#define INTCSR_LOCAL1_STATUS 0x004u
#define INTCSR_LOCAL2_ENABLE 0x008u   /* Torix bus */
#define INTCSR_LOCAL2_POLARITY 0x010u
#define INTCSR_LOCAL2_STATUS 0x020u
#define INTCSR_PCI_ENABLE 0x040u
#define INTCSR_SOFTWARE 0x080u
#define INTCSR_LOCAL1_EDGE 0x100u
#define INTCSR_LOCAL2_EDGE 0x200u
#define INTCSR_LOCAL1_EDGE_CLEAR 0x400u
#define INTCSR_LOCAL2_EDGE_CLEAR 0x800u

/* ---- BAR2: the card's CPLD and motion chip, 16-bit registers ------------ */

#define CARD_BAR 2
#define REG_COMMAND 0x00      /* write: command word; read: main status */
#define REG_MODE1 0x02        /* write: mode register 1; read: status register 1 */
#define REG_MODE2 0x04        /* write: mode register 2; read: status register 2 */
#define REG_MODE3 0x06        /* read: interrupt factor, acknowledged by the read */
#define REG_OUTPUT 0x08       /* write: output word; read: input bytes of X (low), Y (high) */
#define REG_INTERP_MODE 0x0A  /* read: input bytes of Z (low), U (high) */
#define REG_DATA_LOW 0x0C
#define REG_DATA_HIGH 0x0E
#define REG_TORIX_PORT 0x10   /* + 2n: write DO port n, read DI port 8 + n */
#define REG_TORIX_SCAN 0x20
#define REG_CPLD_VERSION 0x30
#define REG_CARD_ID 0x40
#define REG_TORIX_CONFIG 0x42
#define REG_TORIX_INT 0x44
#define REG_TORIX_RESET 0x46
#define REG_TORIX_AUX 0x48
#define REG_CMP_MASK 0x4C
/* Model-B compare registers of X and Y (read-only; the trigger counters are
 * preset by the model-B driver). The compare counters are 32-bit reads. */
#define REG_CMP_COUNTER_X 0x62
#define REG_CMP_COUNTER_Y 0x6A
#define REG_TRIG_COUNTER_X_LOW 0x72
#define REG_TRIG_COUNTER_X_HIGH 0x74
#define REG_CMP_PITCH_X 0x76
#define REG_TRIG_COUNTER_Y_LOW 0x7A
#define REG_TRIG_COUNTER_Y_HIGH 0x7C
#define REG_CMP_PITCH_Y 0x7E
#define CARD_REGISTER_SPAN 0x80   /* BAR2 must map all of the card's registers */

/* REG_CARD_ID: the DIP switch. */
#define CARD_ID_SWITCHES 0x000Fu

/* Torix ports: DO ports 0-7 and DI ports 8-15 share the eight REG_TORIX_PORT registers. */
#define TORIX_DO_PORT_LAST 7
#define TORIX_DI_PORT_FIRST 8
#define TORIX_DI_PORT_LAST 15
/* REG_TORIX_INT and REG_TORIX_RESET values. */
#define TORIX_INT_OFF 0
#define TORIX_INT_ON 1
#define TORIX_RESET_HOLD 1
#define TORIX_RESET_RELEASE 0

/* REG_CMP_MASK: five flags at bits 3-7 (compare-output masks and IN3). */
#define CMP_MASK_FIRST_BIT 3
#define CMP_MASK_FLAGS 5

/* ---- REG_COMMAND ------------------------------------------------------- */

/* Command word: (axis mask << COMMAND_AXIS_SHIFT) | chip command code. */
#define COMMAND_AXIS_SHIFT 8
#define COMMAND_CHIP_RESET 0x8000u   /* the whole word: resets the chip */
#define COMMAND_CLEAR 0x0000u        /* no axis, no command: ends the reset sequence */

/* Main status (read). */
#define MAIN_STATUS_BUSY_MASK 0x000Fu          /* bit i: axis i driving */
#define MAIN_STATUS_ERROR_SHIFT 4              /* bit 4 + i: axis i error */
#define MAIN_STATUS_NEXT_SEGMENT 0x0200u       /* accepts the next continuous segment */

/* Motion-chip command codes. */
#define CHIP_RANGE 0x00
#define CHIP_JERK 0x01
#define CHIP_ACC 0x02
#define CHIP_DEC 0x03
#define CHIP_START_SPEED 0x04
#define CHIP_DRIVE_SPEED 0x05
#define CHIP_PULSES 0x06
#define CHIP_DEC_POINT 0x07
#define CHIP_ARC_CENTER 0x08
#define CHIP_SET_CMD_COUNTER 0x09
#define CHIP_SET_ENC_COUNTER 0x0A
#define CHIP_COMP_PLUS 0x0B
#define CHIP_COMP_MINUS 0x0C
#define CHIP_ACC_OFFSET 0x0D
#define CHIP_DEC_JERK 0x0E
#define CHIP_SELECT 0x0F
#define CHIP_READ_CMD_COUNTER 0x10
#define CHIP_READ_ENC_COUNTER 0x11
#define CHIP_READ_SPEED 0x12
#define CHIP_READ_ACC 0x13
#define CHIP_READ_LATCH 0x14
#define CHIP_DRIVE_PLUS 0x20
#define CHIP_DRIVE_MINUS 0x21
#define CHIP_CONT_PLUS 0x22
#define CHIP_CONT_MINUS 0x23
#define CHIP_DRIVE_HOLD 0x24
#define CHIP_DRIVE_RELEASE 0x25
#define CHIP_DEC_STOP 0x26
#define CHIP_SUDDEN_STOP 0x27
#define CHIP_LINE2 0x30
#define CHIP_LINE3 0x31
#define CHIP_ARC_CW 0x32
#define CHIP_ARC_CCW 0x33
#define CHIP_INTERP_DEC_ON 0x3B
#define CHIP_INTERP_DEC_OFF 0x3C
#define CHIP_EXT_MODE 0x60
#define CHIP_HOME_SPEED 0x61
#define CHIP_HOME_START 0x62
#define CHIP_SYNC_MODE 0x64

/* Chip values the driver sets at reset, and the range's upper bound. */
#define DEFAULT_RANGE 16000u
#define CHIP_RANGE_MAX 8000000u
#define FIXED_S_CURVE_RATE 8000u     /* CHIP_ACC / CHIP_DEC while an S-curve runs */
#define DEFAULT_JERK 0xFFFFu         /* CHIP_JERK and CHIP_DEC_JERK */
#define DEFAULT_SPEED 8000u
#define DEFAULT_FILTER_WORD 0x0100u  /* extension word 1 */
#define DEFAULT_EXT_WORD2 0x0800u

/* ---- Mode registers (write) -------------------------------------------- */

/* Mode register 1: input levels (set = active high) and interrupt enables. */
#define MODE1_NEAR_HOME_LEVEL 0x0001u
#define MODE1_HOME_LEVEL 0x0004u
#define MODE1_INDEX_LEVEL 0x0010u
#define MODE1_HOME_LEVEL_FIELD 0x0015u    /* the three levels of the home search */
#define MODE1_IN3_FIELD 0x00C0u           /* IN3 logic and enable */
#define MODE1_FACTOR_ENABLES 0xFF00u      /* bit 8 + k enables status-3 bit k */
#define MODE1_FACTOR_ENABLE_SHIFT 8
#define MODE1_DRIVE_END_ENABLE 0x8000u

/* Mode register 2: software limits, comparator source and the wiring. */
#define MODE2_SOFT_LIMIT_ENABLE 0x0003u   /* + and - */
#define MODE2_LIMIT_FIELD 0x001Cu         /* limit stop mode and logic */
#define MODE2_COMPARE_ENCODER 0x0020u     /* the comparators watch the encoder */
#define MODE2_PULSE_FIELD 0x01C0u         /* pulse output mode */
#define MODE2_ENCODER_FIELD 0x0E00u       /* encoder input mode */
#define MODE2_ALARM_FIELD 0x3000u         /* alarm logic and enable */
#define MODE2_IN_POSITION_FIELD 0xC000u   /* in-position logic and enable */
#define MODE2_IN_POSITION_LEVEL 0x4000u
#define MODE2_IN_POSITION_ON 0x8000u
/* The fields that describe the wiring (pulse output, encoder input, limit,
 * alarm and in-position logic), not a function in use. */
#define MODE2_SIGNAL_FIELDS ((USHORT)~(MODE2_SOFT_LIMIT_ENABLE | MODE2_COMPARE_ENCODER))

/* Mode register 3: the drive profile, the hand wheel and the IN3 compare mask. */
#define MODE3_PROFILE_FIELD 0x0007u       /* the move's mode word bits 0-2 */
#define MODE3_HAND_WHEEL_FIELD 0x0018u    /* 0: off; else a hand-wheel drive mode */
#define MODE3_COMPARE_MASK_INPUT 0x0080u

/* ---- Status registers (read) ------------------------------------------- */

/* Status register 1: the drive's phase, and the stop reasons it latched. */
#define STATUS1_AT_DRIVE_SPEED 0x0004u
#define STATUS1_BELOW_DRIVE_SPEED 0x0008u  /* constant speed below the drive speed */
#define STATUS1_DECELERATING 0x0010u
#define STATUS1_S_CURVE_PHASES 0x00E0u     /* an S-curve's acceleration changes or holds */
#define STATUS1_STOP_LIMIT_PLUS 0x1000u
#define STATUS1_STOP_LIMIT_MINUS 0x2000u
#define STATUS1_STOP_ALARM 0x4000u
#define STATUS1_STOP_EMERGENCY 0x8000u
#define STATUS1_STOP_REASONS 0xFF00u

/* Status register 2: errors; bits 0-5 set the axis's main-status error bit. */
#define STATUS2_SOFT_LIMIT_PLUS 0x0001u
#define STATUS2_SOFT_LIMIT_MINUS 0x0002u
#define STATUS2_LIMIT_PLUS 0x0004u
#define STATUS2_LIMIT_MINUS 0x0008u
#define STATUS2_ALARM 0x0010u
#define STATUS2_EMERGENCY 0x0020u
#define STATUS2_SOFT_LIMITS (STATUS2_SOFT_LIMIT_PLUS | STATUS2_SOFT_LIMIT_MINUS)
#define STATUS2_ERROR_BITS 0x003Fu
#define STATUS2_BIT7 0x0080u

/* Status register 3: the interrupt factors a waiting request waits for. */
#define FACTOR_DRIVE_END 0x080u
#define FACTOR_HOME_END 0x100u
#define FACTOR_SYNC_ACTION 0x200u /* the axis's synchronous action fired */

/* ---- Input and output words -------------------------------------------- */

/* Input byte of an axis (REG_OUTPUT / REG_INTERP_MODE read, low byte for X
 * and Z, high byte for Y and U). */
#define INPUT_BYTE_BITS 8
#define INPUT_NEAR_HOME 0x01u
#define INPUT_HOME 0x02u
#define INPUT_INDEX 0x04u
#define INPUT_IN3_GROUP_SHIFT 3     /* bits 3-5: the three IN3-group inputs */
#define INPUT_IN_POSITION 0x40u
#define INPUT_SPARE 0x80u

/* Output word (REG_OUTPUT write): bit OUTPUT_BITS_PER_AXIS * axis + OUTPUT_BIT_*. */
#define OUTPUT_BITS_PER_AXIS 4
#define OUTPUT_BIT_SERVO 1
#define OUTPUT_BIT_ALARM_RESET 2
#define OUTPUT_BIT_GDO 3

/* ---- REG_INTERP_MODE (write) ------------------------------------------- */

/* Axis assignment: master index at bits 0-1, second at 2-3, third at 4-5. */
#define INTERP_AXIS_FIELD_BITS 2
#define INTERP_AXIS_INDEX_MASK 0x0003u
#define INTERP_ASSIGNMENT_FIELD 0x003Fu
#define INTERP_THIRD_AXIS_FIELD 0x0030u
#define INTERP_CONSTANT_VECTOR_FIELD 0x0300u
#define INTERP_CONSTANT_VECTOR_2 0x0100u
#define INTERP_CONSTANT_VECTOR_3 0x0300u
#define INTERP_MODE_CONTINUOUS 0x4000u   /* the chip holds a queued continuous segment */

/* ---- Extension mode words (CHIP_EXT_MODE) ------------------------------ */

/* Word 1. */
#define EXT1_AVOID_TRIANGLE 0x0008u
#define EXT1_RING_COUNTER 0x0010u
#define EXT1_HOME_END_ENABLE 0x0020u
#define EXT1_FILTER_FIELD 0xFF00u         /* input filter enables and delay */

/* Word 2: the home search's step fields (EXT2_HOME_STEP_FIELD_BITS wide, step
 * k at field k - 1), the compare output and the ERC pin. */
#define EXT2_HOME_STEP_FIELD_BITS 2
#define EXT2_HOME_STEP_MASK 0x3u          /* one step field */
#define EXT2_HOME_STEP_PLUS 0x1u          /* the step runs in + */
#define EXT2_HOME_STEP_MINUS 0x3u         /* the step runs in - */
#define EXT2_HOME_STEP(step, code) ((USHORT)((code) << (EXT2_HOME_STEP_FIELD_BITS * ((step) - 1))))
#define EXT2_HOME_OFFSET_STEP EXT2_HOME_STEP(4, EXT2_HOME_STEP_PLUS) /* the search ends with an offset */
#define EXT2_HOME_STEP_FIELD 0x01FFu      /* the step flags as the configuration writes them */
#define EXT2_BELOW_OUTPUT 0x07FFu         /* kept when the output bits change */
#define EXT2_COMPARE_OUTPUT 0x0800u
#define EXT2_ERC_FIELD 0xF000u

/* ---- Synchronous-action words (CHIP_SYNC_MODE) ------------------------- */

/* Word 1: the conditions that fire the axis's action, and its partners. */
#define SYNC1_COMP_PLUS_UP 0x0001u        /* COMP+ reached counting up */
#define SYNC1_COMP_PLUS_DOWN 0x0002u
#define SYNC1_COMP_MINUS_DOWN 0x0004u
#define SYNC1_COMP_MINUS_UP 0x0008u
#define SYNC1_COMPARATOR_CONDITIONS 0x000Fu
#define SYNC1_PARTNER_SHIFT 13            /* bit 13 + k: the (k+1)-th axis after this one */

/* Word 2: what the axis does when it fires or a partner fires it. */
#define SYNC2_START_ACTIONS 0x000Fu       /* start a fixed or continuous drive */
#define SYNC2_SPEED_FROM_DATA 0x0800u     /* drive speed := REG_DATA_LOW */
#define SYNC2_ACTIVE 0x4000u              /* the axis's own conditions are watched */
#define SYNC2_INTERRUPT 0x8000u           /* firing raises FACTOR_SYNC_ACTION */
#define SYNC2_KEPT_BY_ACTION 0xF000u

#endif /* RM7X0_CARD_REGISTERS_H */
