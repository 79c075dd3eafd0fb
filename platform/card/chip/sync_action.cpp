// Synchronous action: a condition of sync word 1 (a comparator reached, a
// drive start or end, IN3 becoming active or inactive) fires the axis while
// its sync word 2 has the action-active bit, or the speed-change action (bit
// 11: the drive speed takes the data register, which the driver preloads),
// which arms itself. Firing pulses the compare
// output (extension word 2 bit 11), raises the sync-action factor (sync word 2
// bit 15), and runs the actions of word 2 bits 0-7 on the axis itself and on
// each partner named in word 1 bits 13-15 with the partner's own word 2.
// A partner acts whatever its own action-active bit says: that bit only
// arms the partner's own conditions.
//
// An axis does not fire again on a condition that its own firing caused (a
// stop-then-start action raises "drive start" while it acts): the chip
// latches the condition once per firing. A chain through partners thus fires
// each axis at most once, and no register sequence can loop the chip.
#include "axis.h"
#include "interpolation.h"

namespace card::chip {
namespace {

constexpr std::uint16_t kActionBits = 0x00FF | kSync2DriveSpeedFromData;
constexpr unsigned kPartnerBits = 3;

void start_loaded_drive(AxisState& axis, SimTime now, std::uint16_t actions) {
  if (actions & kSync2DrivePlus) drive_command(axis, now, kCmdDrivePlus);
  if (actions & kSync2DriveMinus) drive_command(axis, now, kCmdDriveMinus);
  if (actions & kSync2ContPlus) drive_command(axis, now, kCmdContPlus);
  if (actions & kSync2ContMinus) drive_command(axis, now, kCmdContMinus);
}

void act(AxisState& axis, SimTime now, std::uint16_t actions) {
  if (actions & kSync2DriveSpeedFromData) {
    axis.reg.drive_speed = *axis.chip_data_low;
    replan(driving_axis(axis), now);
  }
  if (actions & kSync2LatchCommand) axis.latch = static_cast<std::int32_t>(command_counter(axis));
  if (actions & kSync2LatchEncoder) axis.latch = static_cast<std::int32_t>(encoder_counter(axis));
  if (actions & kSync2SuddenStop) sudden_stop(driving_axis(axis), now);
  if (actions & kSync2DecStop) decelerating_stop(driving_axis(axis), now);
  start_loaded_drive(axis, now, actions);
}

// Each pulse moves the trigger position one pitch on, in the direction the
// axis is driven; like the card's 32-bit register it wraps.
void pulse_compare_output(AxisState& axis) {
  if (!(axis.reg.ext2 & kExt2CompareOutput) || axis.trigger_masked) return;
  ++axis.triggers;
  const auto step = static_cast<std::uint32_t>(axis.drive.direction * ring_size(axis));
  axis.trigger_position =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(axis.trigger_position) + step);
}

}  // namespace

bool sync_armed(const AxisState& axis) {
  return (axis.reg.sync2 & (kSync2Active | kSync2DriveSpeedFromData)) != 0;
}

void sync_condition(AxisState& axis, std::uint16_t condition, SimTime now) {
  const AxisRegisters& r = axis.reg;
  if (axis.sync_firing || !sync_armed(axis) || !(r.sync1 & condition)) return;
  axis.sync_firing = true;
  pulse_compare_output(axis);
  raise_factor(axis, kFactorSyncAction);
  act(axis, now, r.sync2 & kActionBits);
  const unsigned partners = r.sync1 >> kSync1PartnerShift;
  for (unsigned k = 0; k < kPartnerBits; ++k) {
    if (!(partners & (1u << k))) continue;
    AxisState& partner = axis.chip_axes[(axis.index + 1 + static_cast<int>(k)) % kAxisCount];
    act(partner, now, partner.reg.sync2 & kActionBits);
  }
  axis.sync_firing = false;
}

}  // namespace card::chip
