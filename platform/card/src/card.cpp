#include "card/card.h"

#include <utility>

#include "card_state.h"

namespace card {

namespace {

struct Window {
  int bar;  // kNoWindow: the card does not decode the access
  std::uint32_t offset;
};
constexpr int kNoWindow = -1;

// The memory window that holds the whole access. Every register access
// passes here: a plain pair of words returns in registers.
Window decode(const SlotResources& slot, std::uint64_t address, unsigned size) {
  for (int i = 0; i < kBarAndRomCount; ++i) {
    const BarInfo& bar = slot.decoded[i];
    if (bar.kind != BarKind::Memory || address < bar.base) continue;
    const std::uint64_t offset = address - bar.base;
    if (offset + size <= bar.length) return Window{i, static_cast<std::uint32_t>(offset)};
  }
  return Window{kNoWindow, 0};
}

// What a read of a pulled or unpowered card returns: all ones (master abort).
std::uint32_t all_ones(unsigned size) { return size >= 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1; }

}  // namespace

Card::State::State(const CardDescription& card, Clock& clock)
    : description(card),
      slot(assign_slot_resources(card)),
      config(build_config_space(card, slot)),
      torix(card.torix),
      chip(clock, card.axes) {
  chip.on_interrupt_change([this] { refresh_interrupt(); });
}

Card::State::~State() { chip.on_interrupt_change({}); }

void Card::State::sample_inputs() {
  const auto level = [this](LocalInterrupt input, bool source) {
    return forced_inputs[index_of(input)].value_or(source);
  };
  const bool chip_level = chip.interrupt_pending();
  const std::uint64_t events = std::exchange(chip_events, chip.interrupt_events());
  bridge.set_input(LocalInterrupt::Chip, level(LocalInterrupt::Chip, chip_level));
  // The chip pulses its output for every event: one that came while the
  // output stayed high is an edge of its own.
  if (events != chip_events && chip_level && !forced_inputs[index_of(LocalInterrupt::Chip)])
    bridge.retrigger_input(LocalInterrupt::Chip);
  // The Torix bus's output idles low and pulses for an input change.
  bridge.set_input(LocalInterrupt::Torix, level(LocalInterrupt::Torix, false));
  if (torix.take_interrupt_pulse() && !forced_inputs[index_of(LocalInterrupt::Torix)])
    bridge.pulse_input(LocalInterrupt::Torix);
}

bool Card::State::update_line() {
  const bool now = reachable() && bridge.line();
  if (now == line) return false;
  line = now;
  return true;
}

Card::Card(const CardDescription& description, Clock& clock)
    : state_(std::make_unique<State>(description, clock)) {}

Card::~Card() = default;

std::string Card::hardware_id() const { return card::hardware_id(state_->description.model); }

std::string Card::instance_id() const { return card::instance_id(state_->description.model, state_->slot); }

void Card::read_config(std::uint32_t offset, void* buffer, std::uint32_t length) const {
  auto* out = static_cast<std::uint8_t*>(buffer);
  const bool present = state_->present;
  for (std::uint32_t i = 0; i < length; ++i) {
    const std::uint64_t at = std::uint64_t{offset} + i;
    out[i] = present && at < kConfigSpaceLength ? state_->config[at] : 0xFF;
  }
}

BarInfo Card::bar(int index) const {
  if (index < 0 || index >= kBarAndRomCount) return BarInfo{};
  return state_->slot.assigned[index];
}

bool Card::has_interrupt() const { return state_->description.interrupt; }

std::uint32_t Card::interrupt_vector() const { return state_->slot.interrupt_line; }

bool Card::mmio_read(std::uint64_t address, unsigned size, std::uint32_t* value) {
  const Window window = decode(state_->slot, address, size);
  if (window.bar == kNoWindow) return false;
  if (!state_->reachable()) {
    *value = all_ones(size);
    return true;
  }
  switch (window.bar) {
    case kBridgeBar: *value = state_->bridge_access(window.offset, size, std::nullopt); break;
    case kRegisterBar: *value = state_->register_read(window.offset, size); break;
    default: *value = state_->blank_read(); break;
  }
  return true;
}

bool Card::mmio_write(std::uint64_t address, unsigned size, std::uint32_t value) {
  const Window window = decode(state_->slot, address, size);
  if (window.bar == kNoWindow) return false;
  if (!state_->reachable()) return true;
  switch (window.bar) {
    case kBridgeBar: state_->bridge_access(window.offset, size, value); break;
    case kRegisterBar: state_->register_write(window.offset, size, value); break;
    default: state_->blank_write(); break;
  }
  return true;
}

bool Card::interrupt_asserted() const {
  std::lock_guard guard(state_->lock);
  return state_->line;
}

void Card::on_interrupt_change(std::function<void()> fn) { state_->notifier.set(std::move(fn)); }

bool Card::present() const { return state_->present; }

CardModel Card::model() const { return state_->description.model; }

int Card::slot() const { return state_->description.slot; }

std::uint16_t Card::dip_switch() const { return state_->description.dip_switch; }

MotionChip& Card::chip() { return state_->chip; }

void Card::reset() {
  state_->chip.reset();
  state_->change_board([&] {
    state_->bridge.reset();
    state_->torix.reset();
    state_->cmp_mask = 0;
  });
  state_->chip.set_trigger_mask(0);
}

// The card has no PCI power management: losing power is a power-on reset,
// and every register, counter and interrupt enable is lost with it.
void Card::set_powered(bool powered) {
  if (!powered && state_->powered) reset();
  state_->powered = powered;
  state_->refresh_interrupt();
}

void Card::pull() {
  state_->present = false;
  state_->refresh_interrupt();
}

void Card::force_local_interrupt(LocalInterrupt input, std::optional<bool> level) {
  state_->change_board([&] { state_->forced_inputs[index_of(input)] = level; });
}

StrayAccesses Card::stray_accesses() const {
  std::lock_guard guard(state_->lock);
  return state_->stray;
}

}  // namespace card
