/* Who holds an axis's comparators and its sync words (AxisOwners).
 *
 * The software limit, the ring counter, the compare trigger and the
 * synchronous action all load the comparators; the compare trigger and the
 * synchronous action also write the two sync words. One function at a time
 * holds each: the others are refused with the conflict word of the holder,
 * so that none overwrites the values another one runs on. */
#include "rm7x0_driver.h"

USHORT check_axis_motion(CardExtension *ext, int axis, LONG owner) {
  const LONG present = read_interlocked(&ext->axis[axis].owners.feature_owner);
  if (present == OWNER_NONE || present == owner) return DRV_SUCCESS;
  switch (present) {
    case OWNER_SOFT_LIMIT: return DRV_CONFLICT_SOFTLIMIT;
    case OWNER_RING_COUNTER: return DRV_CONFLICT_VRING;
    case OWNER_COMPARE: return DRV_CONFLICT_CMPTRIG;
    default: return DRV_CONFLICT_SYNCH;
  }
}

USHORT check_axis_sync(CardExtension *ext, int axis, LONG owner) {
  const LONG present = read_interlocked(&ext->axis[axis].owners.sync_owner);
  if (present == SYNC_OWNER_NONE || present == owner) return DRV_SUCCESS;
  return present == SYNC_OWNER_COMPARE ? DRV_SYNCH_REFUSED_CMPTRIG : DRV_SYNCH_REFUSED;
}

VOID hold_comparators(CardExtension *ext, int axis, FeatureOwner owner) {
  InterlockedExchange(&ext->axis[axis].owners.feature_owner, owner);
}

VOID release_comparators(CardExtension *ext, int axis, FeatureOwner owner) {
  InterlockedCompareExchange(&ext->axis[axis].owners.feature_owner, OWNER_NONE, owner);
}

VOID hold_sync_words(CardExtension *ext, int axis, SyncOwner owner) {
  InterlockedExchange(&ext->axis[axis].owners.sync_owner, owner);
}

VOID release_sync_words(CardExtension *ext, int axis, SyncOwner owner) {
  InterlockedCompareExchange(&ext->axis[axis].owners.sync_owner, SYNC_OWNER_NONE, owner);
}

BOOLEAN sync_words_held_by(CardExtension *ext, int axis, SyncOwner owner) {
  return read_interlocked(&ext->axis[axis].owners.sync_owner) == owner;
}

/* The chip's reset cleared every function's comparator use and sync words. */
VOID axis_owners_reset(CardExtension *ext) {
  for (DriverAxisState &state : ext->axis) {
    InterlockedExchange(&state.owners.feature_owner, OWNER_NONE);
    InterlockedExchange(&state.owners.sync_owner, SYNC_OWNER_NONE);
  }
}
