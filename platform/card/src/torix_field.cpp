// The bench's handle on a card's Torix bus: the field side of its modules.
#include <stdexcept>
#include <string>

#include "card/card.h"
#include "card_state.h"

namespace card {

TorixField Card::torix() { return TorixField(*this); }

void TorixField::set_input(int address, std::uint16_t points) {
  bool placed = false;
  card_.state_->change_board([&] { placed = card_.state_->torix.set_field_input(address, points); });
  if (!placed) throw std::invalid_argument("no Torix input module at address " + std::to_string(address));
}

std::uint16_t TorixField::output(int address) const {
  std::lock_guard guard(card_.state_->lock);
  return card_.state_->torix.output(address);
}

std::uint16_t TorixField::config() const {
  std::lock_guard guard(card_.state_->lock);
  return card_.state_->torix.registers().config;
}

std::uint16_t TorixField::aux() const {
  std::lock_guard guard(card_.state_->lock);
  return card_.state_->torix.registers().aux;
}

}  // namespace card
