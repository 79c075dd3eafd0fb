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
 * axis mask; each value travels in the low 32 bits of its slot (signed 16-bit
 * values sign-extended to 32 bits first), pointer-sized values whole. */
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
/* Its reply after an interval arming: where the command and encoder counters
 * stood before the ring counter took them. */
#define CMPTRIG_REPLY_COMMAND_BEFORE 10
#define CMPTRIG_REPLY_ENCODER_BEFORE 11
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
