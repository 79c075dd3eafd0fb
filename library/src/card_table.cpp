#include "card_table.h"

#include <cstring>

#include "checks.h"

CardTable card_table;
std::atomic<uint32_t> card_resets[CARD_SLOTS];

void empty_card_table() {
  const int32_t attaches = card_table.attach_count;
  card_table = CardTable{};
  card_table.attach_count = attaches;
}

bool copy_interface_path(char (&slot_path)[MAX_PATH], const char *path) {
  const size_t length = std::strlen(path);
  if (length >= MAX_PATH) return false;
  std::memcpy(slot_path, path, length + 1);
  return true;
}

void forget_found_card(CardRecord &card) {
  card.card_id = NO_CARD_ID;
  card.interface_path[0] = '\0';
  card_table.present[&card - card_table.cards] = 0;
}

void set_up_axes(uint8_t card, const uint32_t ranges[AXES_PER_CARD]) {
  for (int axis = 0; axis < AXES_PER_CARD; ++axis) {
    AxisBlock &block = card_table.cards[card].axes[axis];
    block.range = ranges[axis];
    block.multiplier = multiplier_for_range(ranges[axis]);
    block.motion = AxisMotionState{};
  }
  update_axis_limits(card);
}
