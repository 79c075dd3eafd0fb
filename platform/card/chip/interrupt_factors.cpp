// Interrupt factors of an axis (status register 3) and their enables: mode
// register 1 bits 8-15 enable factor bits 0-7 (bit 15: drive end), extension
// word 1 bit 5 enables home end, sync word 2 bit 15 the synchronous action.
// The chip's output is any axis with an enabled factor latched, or a free
// continuous-interpolation slot (motion_chip.cpp).
#include "axis.h"

namespace card::chip {

std::uint16_t enabled_factors(const AxisState& axis) {
  std::uint16_t enabled = static_cast<std::uint16_t>(axis.reg.mode1 >> kMode1FactorEnableShift);
  if (axis.reg.ext1 & kExt1HomeEndEnable) enabled |= kFactorHomeEnd;
  if (axis.reg.sync2 & kSync2Interrupt) enabled |= kFactorSyncAction;
  return enabled;
}

// A factor is latched only while enabled, so that switching an enable on
// never delivers an old event.
void raise_factor(AxisState& axis, std::uint16_t factor) {
  if (!(enabled_factors(axis) & factor)) return;
  axis.factors |= factor;
  axis.factor_raised = true;
}

}  // namespace card::chip
