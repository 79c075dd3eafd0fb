#include "card/machine.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "card/card.h"
#include "card/machine_description.h"

namespace card {

namespace {

std::unique_ptr<Clock> make_clock(const MachineDescription& description) {
  if (description.clock == ClockKind::Manual) return std::make_unique<ManualClock>();
  return std::make_unique<ScaledClock>(description.time_scale);
}

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  if (!file) throw std::runtime_error("cannot read the machine file " + path);
  return text.str();
}

}  // namespace

struct Machine::State {
  ~State() {
    while (!cards.empty()) cards.pop_back();  // reverse slot order, before the clock
  }

  PlatformTraits traits;
  std::unique_ptr<Clock> clock;
  std::vector<std::unique_ptr<Card>> cards;
};

Machine::Machine() : state_(std::make_unique<State>()) {}

Machine::~Machine() = default;

std::unique_ptr<Machine> Machine::build(const MachineDescription& description) {
  std::unique_ptr<Machine> machine(new Machine());
  State& state = *machine->state_;
  state.traits = description.traits;
  state.clock = make_clock(description);
  for (const CardDescription& card : description.cards) {
    state.cards.push_back(std::make_unique<Card>(card, *state.clock));
  }
  return machine;
}

std::unique_ptr<Machine> Machine::from_description(const std::string& text) {
  return build(parse_machine_description(text.empty() ? default_machine_description() : text));
}

std::unique_ptr<Machine> Machine::from_environment() {
  const char* path = std::getenv("RM7X0_MACHINE");
  if (!path || !*path) return from_description({});
  const std::string text = read_file(path);
  try {
    return from_description(text);
  } catch (const std::invalid_argument& e) {
    throw std::invalid_argument(std::string(path) + ": " + e.what());
  }
}

Clock& Machine::clock() { return *state_->clock; }

const PlatformTraits& Machine::traits() const { return state_->traits; }

std::vector<PciFunction*> Machine::functions() {
  std::vector<PciFunction*> functions;
  for (const auto& card : state_->cards) functions.push_back(card.get());
  return functions;
}

std::vector<Card*> Machine::cards() {
  std::vector<Card*> cards;
  for (const auto& card : state_->cards) cards.push_back(card.get());
  return cards;
}

}  // namespace card
