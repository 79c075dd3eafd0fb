/* The request protocol between the motion libraries and the card's driver:
 * the device-interface classes, the request codes, the 104-byte request block
 * and the driver's result words. Shared by driver/rm7x0_wdm and library/.
 *
 * Include after the platform's own headers (<windows.h> and <winioctl.h> in
 * user mode, <wdm.h> in the driver), which give CTL_CODE and DEFINE_GUID. */
#ifndef RM7X0_IOCTL_H
#define RM7X0_IOCTL_H

#include <stdint.h>

/* Device-interface classes: model A (registered by rm720v3) and model B. */
DEFINE_GUID(RM720_INTERFACE_GUID, 0x6f1d2a4e, 0x93b7, 0x4c0e, 0xb5, 0xa8, 0x2e, 0x7c, 0x41,
            0xd9, 0xf3, 0xa6);
DEFINE_GUID(RM730_INTERFACE_GUID, 0xa84c07d2, 0x5e61, 0x4f39, 0x9b, 0x1e, 0xd3, 0xf6, 0x0a,
            0x2c, 0x7b, 0x58);

/* The request block: thirteen 8-byte slots, sent and returned in place.
 * Slot 0 carries the status word in its low 16 bits, slot 1 as a rule the
 * axis mask (each request's slots are named after the request codes); each
 * value travels in the low 32 bits of its slot (signed 16-bit values
 * sign-extended to 32 bits first), pointer-sized values whole. */
#define DRIVER_REQUEST_SLOTS 13
typedef struct DriverRequest {
  uint64_t slot[DRIVER_REQUEST_SLOTS];
} DriverRequest;
#ifdef __cplusplus
static_assert(sizeof(DriverRequest) == 104, "request block is 104 bytes");
#else
_Static_assert(sizeof(DriverRequest) == 104, "request block is 104 bytes");
#endif

/* Status word preset by the exports that judge the reply. */
#define REQUEST_STATUS_PRESET 0xFE97u

/* Request codes: device type 0x22, buffered, any access; function = command. */
#define RM7X0_REQUEST(command) CTL_CODE(FILE_DEVICE_UNKNOWN, (command), METHOD_BUFFERED, FILE_ANY_ACCESS)

#define REQ_MAP_SHARED_BUFFER              RM7X0_REQUEST(0x401)
#define REQ_UNMAP_SHARED_BUFFER            RM7X0_REQUEST(0x402)
#define REQ_GET_DIPSW_ID                   RM7X0_REQUEST(0x403)
#define REQ_GET_RANGES                     RM7X0_REQUEST(0x404)
#define REQ_SET_RANGE                      RM7X0_REQUEST(0x405)
#define REQ_RESET                          RM7X0_REQUEST(0x406)
#define REQ_SET_PLS_CFG                    RM7X0_REQUEST(0x407)
#define REQ_SET_ENC_CFG                    RM7X0_REQUEST(0x408)
#define REQ_SET_LIMIT                      RM7X0_REQUEST(0x409)
#define REQ_SET_INP                        RM7X0_REQUEST(0x40A)
#define REQ_SET_ALARM                      RM7X0_REQUEST(0x40B)
#define REQ_SET_ALARM_RESET                RM7X0_REQUEST(0x40C)
#define REQ_SET_ERC                        RM7X0_REQUEST(0x40D)
#define REQ_SET_GDO                        RM7X0_REQUEST(0x40E)
#define REQ_GET_OUT1_STATUS                RM7X0_REQUEST(0x40F)
#define REQ_SERVO_ON                       RM7X0_REQUEST(0x410)
#define REQ_SET_IN3                        RM7X0_REQUEST(0x411)
#define REQ_GET_IN3                        RM7X0_REQUEST(0x412)
#define REQ_SET_FILTER                     RM7X0_REQUEST(0x413)
#define REQ_SET_SOFTLIMIT                  RM7X0_REQUEST(0x414)
#define REQ_SET_HOME_CFG                   RM7X0_REQUEST(0x415)
#define REQ_HOME_START                     RM7X0_REQUEST(0x417)
#define REQ_SET_HOME_CFG_EX                RM7X0_REQUEST(0x418)
#define REQ_GET_DI_STATUS                  RM7X0_REQUEST(0x41A)
#define REQ_GET_ERROR_STATUS               RM7X0_REQUEST(0x41B)
#define REQ_SET_CMDCOUNTER                 RM7X0_REQUEST(0x41C)
#define REQ_GET_CMDCOUNTER                 RM7X0_REQUEST(0x41D)
#define REQ_SET_ENCCOUNTER                 RM7X0_REQUEST(0x41E)
#define REQ_GET_ENCCOUNTER                 RM7X0_REQUEST(0x41F)
#define REQ_MOTION_DONE                    RM7X0_REQUEST(0x420)
#define REQ_GET_SPEED                      RM7X0_REQUEST(0x421)
#define REQ_GET_ACC                        RM7X0_REQUEST(0x422)
#define REQ_GET_LATCH                      RM7X0_REQUEST(0x423)
#define REQ_STOP_MOVE                      RM7X0_REQUEST(0x424)
#define REQ_STOP_MOVE_ALL                  RM7X0_REQUEST(0x425)
#define REQ_DRV_START                      RM7X0_REQUEST(0x426)
#define REQ_DRV_HOLD                       RM7X0_REQUEST(0x427)
#define REQ_SET_VRING                      RM7X0_REQUEST(0x428)
#define REQ_SET_MPG                        RM7X0_REQUEST(0x429)
#define REQ_UPLOAD_COMPARE_TABLE           RM7X0_REQUEST(0x42A)
#define REQ_CMPTRIG_CONFIG                 RM7X0_REQUEST(0x42B)
#define REQ_SET_SYNCH                      RM7X0_REQUEST(0x42C)
#define REQ_SET_INT_FACTOR                 RM7X0_REQUEST(0x42D)
#define REQ_GET_INT_FACTOR                 RM7X0_REQUEST(0x42E)
#define REQ_ATTACH_INT_EVENTS              RM7X0_REQUEST(0x42F)
#define REQ_DETACH_INT_EVENTS              RM7X0_REQUEST(0x430)
#define REQ_VELOCITY_MOVE                  RM7X0_REQUEST(0x431)
#define REQ_CONST_MOVE                     RM7X0_REQUEST(0x432)
#define REQ_T_MOVE                         RM7X0_REQUEST(0x433)
#define REQ_S_MOVE                         RM7X0_REQUEST(0x434)
#define REQ_T_LINE2_MOVE                   RM7X0_REQUEST(0x435)
#define REQ_T_LINE3_MOVE                   RM7X0_REQUEST(0x436)
#define REQ_S_LINE2_MOVE                   RM7X0_REQUEST(0x437)
#define REQ_S_LINE3_MOVE                   RM7X0_REQUEST(0x438)
#define REQ_T_ARC2_MOVE                    RM7X0_REQUEST(0x439)
#define REQ_END_WAIT                       RM7X0_REQUEST(0x43A)
#define REQ_CONTI_INTERP_BEGIN             RM7X0_REQUEST(0x43B)
#define REQ_CONTI_INTERP_END               RM7X0_REQUEST(0x43C)
#define REQ_CONTI_INTERP_NEXT_READY        RM7X0_REQUEST(0x43D)
#define REQ_CONTI_LINE2_MOVE               RM7X0_REQUEST(0x43E)
#define REQ_CONTI_LINE3_MOVE               RM7X0_REQUEST(0x43F)
#define REQ_CONTI_ARC2_MOVE                RM7X0_REQUEST(0x440)
#define REQ_T_CHANGE_V                     RM7X0_REQUEST(0x441)
#define REQ_T_SET_AVTRI                    RM7X0_REQUEST(0x442)
#define REQ_CHANGE_P                       RM7X0_REQUEST(0x443)
#define REQ_CHECK_AXES_MOVE                RM7X0_REQUEST(0x444)
#define REQ_GET_INT_STATUS                 RM7X0_REQUEST(0x445)
#define REQ_SET_TORIX_DO                   RM7X0_REQUEST(0x446)
#define REQ_GET_TORIX_DI                   RM7X0_REQUEST(0x447)
#define REQ_SCAN_TORIX_DI                  RM7X0_REQUEST(0x448)
#define REQ_CONFIG_TORIX                   RM7X0_REQUEST(0x449)
#define REQ_SET_TORIX_INT                  RM7X0_REQUEST(0x44A)
#define REQ_RESET_TORIX                    RM7X0_REQUEST(0x44B)
#define REQ_SET_TORIX_REG48                RM7X0_REQUEST(0x44C)
#define REQ_GET_TORIX_DI_CACHED            RM7X0_REQUEST(0x44D)
#define REQ_CPLD_VER_GET                   RM7X0_REQUEST(0x44E)
#define REQ_S_CHANGE_V                     RM7X0_REQUEST(0x44F)
#define REQ_SET_INT_ACTION                 RM7X0_REQUEST(0x450)
#define REQ_SET_CUSTOMIZATION              RM7X0_REQUEST(0x451)
#define REQ_CONTI_LOAD_SEGMENT             RM7X0_REQUEST(0x452)
#define REQ_CONTI_INTERP_RUNNING_SEGMENT   RM7X0_REQUEST(0x453)
#define REQ_CONTI_INTERP_CONFIG            RM7X0_REQUEST(0x454)
#define REQ_SET_SV_ACC                     RM7X0_REQUEST(0x455)
#define REQ_SET_CMP_MASK_IN3               RM7X0_REQUEST(0x456)
#define REQ_SET_CMP                        RM7X0_REQUEST(0x457)
#define REQ_GET_CMPCOUNTER                 RM7X0_REQUEST(0x458)
#define REQ_GET_CMPTRIGCOUNTER             RM7X0_REQUEST(0x459)
#define REQ_GET_CMP_PITCH                  RM7X0_REQUEST(0x45A)
#define REQ_REG_RW_TEST                    RM7X0_REQUEST(0x45B)
#define REQ_SET_WDT                        RM7X0_REQUEST(0x45C)
#define REQ_GET_WDT                        RM7X0_REQUEST(0x45D)

/* The slots of each request. Names are <request>_<value> for what the
 * library sends and <request>_REPLY_<value> for what the driver answers in
 * place; requests that share one layout share one family of names. Every
 * request keeps its status word in slot 0; slot 1 names the axes (a mask,
 * one bit for requests of a single axis) wherever a request has axes. */
enum RequestSlot {
  SLOT_STATUS = 0,
  SLOT_AXES = 1,
  /* A move or configuration refused with DRV_MOVE_CHECK_FAILED. */
  REPLY_FAILING_AXES = 1,

  /* A move profile: eight slots from the request's first profile slot, as
   * offsets. The rates are acceleration and deceleration for T-curves, jerk
   * and deceleration jerk for S-curves; the tail is the acceleration offset
   * (T-curve) or the deceleration point (S-curve). */
  MOVE_PROFILE_START_SPEED = 0,
  MOVE_PROFILE_DRIVE_SPEED = 1,
  MOVE_PROFILE_RATE = 2,
  MOVE_PROFILE_DECEL_RATE = 3,
  MOVE_PROFILE_MODE = 4,
  MOVE_PROFILE_PULSES = 5,
  MOVE_PROFILE_DIRECTION = 6,
  MOVE_PROFILE_TAIL = 7,

  /* One value for the axes of slot 1: REQ_SET_PLS_CFG, REQ_SET_ENC_CFG,
   * REQ_SET_LIMIT, REQ_SET_ALARM, REQ_SET_ALARM_RESET, REQ_SET_ERC,
   * REQ_SET_GDO, REQ_SET_IN3, REQ_SET_FILTER. */
  AXIS_SETTING_VALUE = 2,
  /* One value of the axis of slot 1, answered in slot 1: REQ_GET_OUT1_STATUS,
   * REQ_GET_IN3, REQ_GET_DI_STATUS, REQ_GET_ERROR_STATUS, the counter, speed,
   * acceleration and latch reads, REQ_GET_INT_FACTOR, REQ_GET_INT_STATUS and
   * the compare-counter and pitch reads. */
  AXIS_QUERY_REPLY_VALUE = 1,
  /* A speed with optional rates (0 keeps the rate in force): REQ_T_CHANGE_V,
   * REQ_SET_SV_ACC. */
  SPEED_AND_RATES_SPEED = 2,
  SPEED_AND_RATES_ACC = 3,
  SPEED_AND_RATES_DEC = 4,

  /* REQ_MAP_SHARED_BUFFER: the user address is pointer-sized. */
  MAP_SHARED_BUFFER_REPLY_ADDRESS = 1,
  MAP_SHARED_BUFFER_REPLY_LENGTH = 2,
  /* REQ_GET_DIPSW_ID */
  GET_DIPSW_ID_REPLY_ID = 1,
  /* REQ_GET_RANGES and REQ_RESET: the ranges of X, Y, Z, U from this slot on. */
  RANGES_REPLY_FIRST = 1,
  /* REQ_SET_RANGE */
  SET_RANGE_RANGE = 2,
  /* REQ_SET_INP: the write mode tells how the driver takes the value. */
  SET_INP_VALUE = 2,
  SET_INP_WRITE_MODE = 3,
  /* REQ_SET_ERC: further bits of the ERC field after the axis's word. */
  SET_ERC_EXTRA = 3,
  /* REQ_SERVO_ON */
  SERVO_ON_WORD = 2,
  SERVO_ON_VALUE = 3,
  /* REQ_GET_IN3: the three IN3-group inputs, one a slot. */
  GET_IN3_REPLY_IN3 = 1,
  GET_IN3_REPLY_EXP_PLUS = 2,
  GET_IN3_REPLY_EXP_MINUS = 3,
  /* REQ_SET_SOFTLIMIT */
  SET_SOFTLIMIT_ENABLE = 2,
  SET_SOFTLIMIT_SOURCE = 3,
  SET_SOFTLIMIT_PLUS = 4,
  SET_SOFTLIMIT_MINUS = 5,
  /* REQ_SET_HOME_CFG */
  SET_HOME_CFG_LEVELS = 2,
  SET_HOME_CFG_STEPS = 3,
  SET_HOME_CFG_OFFSET = 4,
  /* REQ_HOME_START: the speeds lie in order from the start speed on. */
  HOME_START_START_SPEED = 2,
  HOME_START_ACC = 3,
  HOME_START_DEC = 4,
  HOME_START_SEARCH_SPEED = 5,
  HOME_START_LOW_SPEED = 6,
  HOME_START_WAIT = 7,
  HOME_START_OPTION = 8,
  /* REQ_SET_HOME_CFG_EX */
  SET_HOME_CFG_EX_LEVELS = 2,
  SET_HOME_CFG_EX_STEPS = 3,
  SET_HOME_CFG_EX_MODE = 4,
  SET_HOME_CFG_EX_OPTION = 5,
  SET_HOME_CFG_EX_DIRECTION = 6,
  /* REQ_GET_DI_STATUS: the status word, then the raw inputs. */
  GET_DI_STATUS_REPLY_RAW = 2,
  /* REQ_SET_CMDCOUNTER, REQ_SET_ENCCOUNTER */
  SET_COUNTER_VALUE = 2,
  /* REQ_MOTION_DONE */
  MOTION_DONE_REPLY_DONE = 1,
  MOTION_DONE_REPLY_STATE = 2,
  /* REQ_STOP_MOVE, REQ_STOP_MOVE_ALL: slot 3 is 1 for a waited stop. */
  STOP_MOVE_MODE = 2,
  STOP_MOVE_WAITED = 3,
  /* REQ_SET_VRING */
  SET_VRING_ENABLE = 2,
  SET_VRING_SIZE = 3,
  /* REQ_SET_MPG */
  SET_MPG_MODE = 2,
  SET_MPG_RATIO = 3,
  SET_MPG_SPEED = 4,
  /* REQ_UPLOAD_COMPARE_TABLE */
  UPLOAD_COMPARE_TABLE_SUM = 2,
  UPLOAD_COMPARE_TABLE_LENGTH = 3,
  /* REQ_CMPTRIG_CONFIG: slot 7 is the table direction (model A) or the
   * direction of travel (model B); the start is model B's. Its reply after an
   * interval arming: where the command and encoder counters stood before the
   * ring counter took them. */
  CMPTRIG_CONFIG_ENABLE = 2,
  CMPTRIG_CONFIG_SOURCE = 3,
  CMPTRIG_CONFIG_MODE = 4,
  CMPTRIG_CONFIG_DIRECTION = 5,
  CMPTRIG_CONFIG_OUTPUT = 6,
  CMPTRIG_CONFIG_TRAVEL = 7,
  CMPTRIG_CONFIG_PITCH = 8,
  CMPTRIG_CONFIG_START = 9,
  CMPTRIG_CONFIG_REPLY_COMMAND_BEFORE = 10,
  CMPTRIG_CONFIG_REPLY_ENCODER_BEFORE = 11,
  /* REQ_SET_SYNCH: the partners are relative to the axis. */
  SET_SYNCH_ENABLE = 2,
  SET_SYNCH_PARTNERS = 3,
  SET_SYNCH_CONDITION = 4,
  SET_SYNCH_ACTION = 5,
  SET_SYNCH_PARTNER_ACTION = 6,
  SET_SYNCH_SOURCE = 7,
  SET_SYNCH_COMPARE_PLUS = 8,
  SET_SYNCH_COMPARE_MINUS = 9,
  /* REQ_SET_INT_FACTOR */
  SET_INT_FACTOR_FACTOR = 2,
  /* REQ_ATTACH_INT_EVENTS: the pointer-sized handles of X, Y, Z, U from this
   * slot on. */
  ATTACH_INT_EVENTS_FIRST = 1,
  /* REQ_VELOCITY_MOVE */
  VELOCITY_MOVE_START_SPEED = 2,
  VELOCITY_MOVE_DRIVE_SPEED = 3,
  VELOCITY_MOVE_ACC = 4,
  VELOCITY_MOVE_DIRECTION = 5,
  /* REQ_CONST_MOVE: a direction byte of 0xFD leaves the direction to the
   * checked-direction slot. */
  CONST_MOVE_DRIVE_SPEED = 2,
  CONST_MOVE_MODE = 3,
  CONST_MOVE_PULSES = 4,
  CONST_MOVE_DIRECTION = 5,
  CONST_MOVE_CHECKED_DIRECTION = 6,
  /* REQ_T_MOVE and REQ_S_MOVE: a move profile, then the checked direction. */
  FIXED_MOVE_PROFILE = 2,
  FIXED_MOVE_DIRECTION = FIXED_MOVE_PROFILE + MOVE_PROFILE_DIRECTION,
  FIXED_MOVE_CHECKED_DIRECTION = 10,
  /* The line and arc moves: slot 1 assigns the axes (master bits 0-1, second
   * 2-3, third 4-5); the speeds lie as in a move profile from slot 2 on, but
   * the finish points take the place of the pulses. An arc's slot 5 is its
   * direction. */
  INTERP_ASSIGNMENT = 1,
  INTERP_PROFILE = 2,
  INTERP_MODE = INTERP_PROFILE + MOVE_PROFILE_MODE,
  INTERP_FINISH = 7,
  /* REQ_T_LINE2_MOVE, REQ_S_LINE2_MOVE */
  LINE2_MOVE_TAIL = 9,
  LINE2_MOVE_WAIT = 10,
  /* REQ_T_LINE3_MOVE, REQ_S_LINE3_MOVE */
  LINE3_MOVE_TAIL = 10,
  LINE3_MOVE_WAIT = 11,
  /* REQ_T_ARC2_MOVE: the centre, then the finish point, after the mode. */
  T_ARC2_MOVE_DIRECTION = 5,
  T_ARC2_MOVE_CENTER = 7,
  T_ARC2_MOVE_FINISH = 9,
  T_ARC2_MOVE_DECEL_POINT = 11,
  T_ARC2_MOVE_WAIT = 12,
  /* REQ_END_WAIT */
  END_WAIT_FACTOR = 2,
  /* REQ_CONTI_INTERP_BEGIN: slot 1 assigns the axes as for a line. */
  CONTI_INTERP_BEGIN_SPEED = 2,
  /* REQ_CONTI_INTERP_END: the partner axes and the ranges they had. */
  CONTI_INTERP_END_REPLY_SECOND_AXIS = 2,
  CONTI_INTERP_END_REPLY_THIRD_AXIS = 3,
  CONTI_INTERP_END_REPLY_SECOND_RANGE = 4,
  CONTI_INTERP_END_REPLY_THIRD_RANGE = 5,
  /* REQ_CONTI_INTERP_NEXT_READY */
  CONTI_INTERP_NEXT_READY_REPLY_READY = 2,
  /* REQ_CONTI_LINE2_MOVE, REQ_CONTI_LINE3_MOVE: the finish points from slot 1
   * on, the mode after them. */
  CONTI_LINE_FINISH = 1,
  CONTI_LINE2_MOVE_MODE = 3,
  CONTI_LINE3_MOVE_MODE = 4,
  /* REQ_CONTI_ARC2_MOVE */
  CONTI_ARC2_MOVE_DIRECTION = 1,
  CONTI_ARC2_MOVE_CENTER = 2,
  CONTI_ARC2_MOVE_FINISH = 4,
  CONTI_ARC2_MOVE_MODE = 6,
  /* REQ_T_SET_AVTRI */
  T_SET_AVTRI_SETTING = 2,
  /* REQ_CHANGE_P */
  CHANGE_P_PULSES = 2,
  /* REQ_CHECK_AXES_MOVE: the direction bytes of X, Y, Z, U from this slot on. */
  CHECK_AXES_MOVE_DIRECTIONS = 2,
  /* REQ_SET_TORIX_DO */
  SET_TORIX_DO_PORT = 1,
  SET_TORIX_DO_WORD = 2,
  /* REQ_GET_TORIX_DI */
  GET_TORIX_DI_PORT = 1,
  GET_TORIX_DI_MODE = 2,
  GET_TORIX_DI_REPLY_WORD = 1,
  /* REQ_SCAN_TORIX_DI */
  SCAN_TORIX_DI_REPLY_MODULES = 1,
  /* REQ_CONFIG_TORIX */
  CONFIG_TORIX_ENABLE = 1,
  CONFIG_TORIX_WORD = 2,
  /* REQ_SET_TORIX_INT */
  SET_TORIX_INT_VALUE = 1,
  /* REQ_SET_TORIX_REG48 */
  SET_TORIX_REG48_VALUE = 1,
  /* REQ_GET_TORIX_DI_CACHED */
  GET_TORIX_DI_CACHED_PORT = 1,
  GET_TORIX_DI_CACHED_REPLY_WORD = 1,
  /* REQ_CPLD_VER_GET */
  CPLD_VER_GET_REPLY_VERSION = 1,
  CPLD_VER_GET_REPLY_DATE_CODE = 2,
  /* REQ_S_CHANGE_V */
  S_CHANGE_V_SPEED = 2,
  S_CHANGE_V_JERK = 3,
  S_CHANGE_V_DEC_JERK = 4,
  S_CHANGE_V_DECEL_POINT = 5,
  /* REQ_SET_INT_ACTION: slot 1 the axes whose interrupts count; with action
   * 2 a move profile for the target from slot 5 on. */
  SET_INT_ACTION_FACTOR = 2,
  SET_INT_ACTION_TARGET = 3,
  SET_INT_ACTION_ACTION = 4,
  SET_INT_ACTION_S_MOVE = 5,
  SET_INT_ACTION_S_MOVE_DIRECTION = SET_INT_ACTION_S_MOVE + MOVE_PROFILE_DIRECTION,
  /* REQ_SET_CUSTOMIZATION */
  SET_CUSTOMIZATION_TYPE = 1,
  SET_CUSTOMIZATION_VALUE = 2,
  /* REQ_CONTI_LOAD_SEGMENT: the finish point x, y, z, the arc direction, the
   * centre x, y and the segment's length. */
  CONTI_LOAD_SEGMENT_TYPE = 1,
  CONTI_LOAD_SEGMENT_FINISH = 2,
  CONTI_LOAD_SEGMENT_ARC_DIRECTION = 5,
  CONTI_LOAD_SEGMENT_CENTER = 6,
  CONTI_LOAD_SEGMENT_LENGTH = 8,
  /* REQ_CONTI_INTERP_RUNNING_SEGMENT */
  CONTI_INTERP_RUNNING_SEGMENT_REPLY_INDEX = 1,
  /* REQ_CONTI_INTERP_CONFIG: slot 1 assigns the axes as for a line; the
   * deceleration point ends the run's table. */
  CONTI_INTERP_CONFIG_START_SPEED = 2,
  CONTI_INTERP_CONFIG_DRIVE_SPEED = 3,
  CONTI_INTERP_CONFIG_ACC = 4,
  CONTI_INTERP_CONFIG_DEC = 5,
  CONTI_INTERP_CONFIG_MODE = 6,
  CONTI_INTERP_CONFIG_DECEL_POINT = 7,
  /* REQ_SET_CMP_MASK_IN3: the mask word, then five flags from slot 2 on. */
  SET_CMP_MASK_IN3_WORD = 1,
  SET_CMP_MASK_IN3_FLAGS = 2,
  /* REQ_SET_CMP */
  SET_CMP_SOURCE = 2,
  SET_CMP_PLUS = 3,
  SET_CMP_MINUS = 4,
  /* REQ_REG_RW_TEST */
  REG_RW_TEST_OPERATION = 1,
  REG_RW_TEST_OFFSET = 2,
  REG_RW_TEST_DATA = 3,
  REG_RW_TEST_REPLY_VALUE = 1,
  /* REQ_SET_WDT, REQ_GET_WDT */
  SET_WDT_MODE = 1,
  GET_WDT_REPLY_MODE = 1
};

/* Values the requests carry, as the library sends them and the driver reads
 * them. Several are the chip's own codes or bits by design. */
#define SEGMENT_TABLE_SIZE 2048           /* segments the driver's table holds */
/* Mode word of a move (fixed moves, lines, arcs, table runs): bits 0-2 go to
 * mode register 3; bits 12-15 0x1000 = constant speed. */
#define MODE_DECEL_POINT 0x0001u          /* the deceleration point is given */
#define MODE_OWN_DECELERATION 0x0002u     /* the deceleration rate is its own */
#define MODE_S_CURVE 0x0004u
#define MODE_SPEED_FIELD 0xF000u
#define MODE_CONSTANT_SPEED 0x1000u
/* Arc direction (REQ_T_ARC2_MOVE, the segments of a continuous run). */
#define ARC_CLOCKWISE 0x32u
#define ARC_COUNTER_CLOCKWISE 0x33u
/* Stop kind (REQ_STOP_MOVE, REQ_STOP_MOVE_ALL). */
#define STOP_DECELERATING 0x26u
#define STOP_SUDDEN 0x27u
/* REQ_SET_INT_FACTOR: the drive-end factor, as an application sets it. */
#define INT_FACTOR_DRIVE_END 0x8000u
/* REQ_END_WAIT: the interrupt the driver switches off after a wait. */
#define END_WAIT_DRIVE_END 0x8000u
#define END_WAIT_HOME_END 0x0020u
/* REQ_SET_INT_ACTION: what the action does. */
#define ACTION_RELEASE 1u                 /* release the held drive starts of its target */
#define ACTION_S_MOVE 2u                  /* start the S-curve move it carries */
/* REQ_CMPTRIG_CONFIG: a table's order (model A), the direction of travel (model B). */
#define TABLE_INCREASING 1u
#define TRAVEL_PLUS 1u
/* REQ_SET_INP: how the in-position word is written. */
#define INP_RESTORE 0x1000u               /* write the configured word again */
#define INP_WRITE_ONLY 0x2000u            /* write the value, keep the configured word */
/* REQ_CMPTRIG_CONFIG: arming, and the trigger's mode. */
#define CMPTRIG_ARM 0x4000u
#define CMPTRIG_TABLE_MODE 0u
#define CMPTRIG_INTERVAL_MODE 16u
/* REQ_MOTION_DONE reply: stop reasons the driver adds to the chip's. */
#define STATE_STOP_COMMAND 0x0004u
#define STATE_DRIVE_END 0x0080u
#define STATE_HOME_END 0x0100u
#define STATE_CONTI_BROKEN 0x0200u

/* Driver result words (DriverResult): word 0 of the reply. */
#define DRV_SUCCESS                  0x8000u /* request carried out */
#define DRV_NO_HOME_CONFIG           0x8001u /* an axis has no home configuration */
#define DRV_AXIS_BUSY                0x8002u /* the axis is driving */
#define DRV_CONFLICT_SOFTLIMIT       0x8003u
#define DRV_CONFLICT_CMPTRIG         0x8004u
#define DRV_CONFLICT_VRING           0x8005u
#define DRV_CONFLICT_SYNCH           0x8006u
#define DRV_SYNCH_REFUSED_CMPTRIG    0x8007u
#define DRV_SYNCH_REFUSED            0x8008u
#define DRV_TABLE_CHECKSUM           0x8009u /* uploaded compare table's byte sum differs */
#define DRV_CMPTRIG_DISARM           0x800Au
#define DRV_REGISTER_OUT_OF_WINDOW   0x800Bu /* register test outside the mapped window, Torix port
                                               outside its groups (request fails) */
#define DRV_MOVE_CHECK_FAILED        0x800Cu /* reply slot 1 = mask of the failing axes */
#define DRV_WAIT_ALREADY_ARMED       0x800Du
#define DRV_INTERP_BUSY              0x800Eu
#define DRV_CONTI_CONFIG_NEEDED      0x800Fu
#define DRV_CONTI_INTERRUPTED        0x8010u
#define DRV_CONTI_INCORRECT_CONFIG   0x8011u
#define DRV_CONTI_NEXT_NOT_READY     0x8012u
#define DRV_CONTI_INTERRUPTED_2      0x8013u
#define DRV_NOT_CONSTANT_SPEED       0x8014u
#define DRV_S_CURVE_IN_PROGRESS      0x8015u
#define DRV_IN_ACC_DEC               0x8016u
#define DRV_MOTION_COMPLETED         0x8017u
#define DRV_TARGET_CHANGE_INTERP     0x8018u
#define DRV_TORIX_INT_OFF            0x8019u
#define DRV_TORIX_DI_INT_OFF         0x801Au
#define DRV_CONFLICT_CMP_MODE        0x801Bu
#define DRV_WAIT_IN_CMP_MODE         0x801Du
#define DRV_AXIS_NOT_READY           0x801Fu
#define DRV_WAIT_ON_HELD_AXIS        0x8023u
#define DRV_UNKNOWN_REQUEST          0x0215u /* request code not served */

#endif
