// The driver's Plug and Play, power and interrupt rules seen end to end:
// model-A library export -> request -> driver -> simulated card -> reply, on a
// manual clock. Two model-A cards (IDs 0 and 1) share one interrupt line.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sim_kernel.h>
#include <sim_native.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "card/card.h"
#include "card/clock.h"
#include "rm720.h"
#include "scripted_card.h"

namespace {

const char* const kMachine =
    "[Machine]\nClock=manual\n"
    "[Card0]\nModel=A\nDipSwitch=0\nX.LimitPlus=2000\nX.LimitMinus=-2000\n"
    "[Card1]\nModel=A\nDipSwitch=1\n";

constexpr uint16_t X = 1, Y = 2, Z = 4;
constexpr uint16_t kDriveEnd = 0x8000;  // factor word of a drive end
constexpr uint16_t kDriveEndFactor = 128;

#define RM720_USED_EXPORTS                                                                     \
  RM720_EXPORT(scan)                                                                           \
  RM720_EXPORT(open) RM720_EXPORT(close) RM720_EXPORT(close_all) RM720_EXPORT(get_cmdcounter)  \
      RM720_EXPORT(t_move) RM720_EXPORT(velocity_move) RM720_EXPORT(int_event_config)          \
          RM720_EXPORT(set_int_factor) RM720_EXPORT(get_int_status) RM720_EXPORT(t_line2_move) \
              RM720_EXPORT(set_home_cfg_ex) RM720_EXPORT(home_start) RM720_EXPORT(motion_done) \
                  RM720_EXPORT(stop_move_all) RM720_EXPORT(get_cardinfo)

// The model-A library, loaded once the test's machine runs: it looks for its
// cards when it is loaded, as on Windows, so the machine must be up first.
struct Library {
  void* handle = nullptr;
#define RM720_EXPORT(name) decltype(&::rm720_##name) name = nullptr;
  RM720_USED_EXPORTS
#undef RM720_EXPORT
  bool load() {
    handle = dlopen(RM720_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return false;
#define RM720_EXPORT(name)                                                \
  name = reinterpret_cast<decltype(name)>(dlsym(handle, "rm720_" #name)); \
  if (!name) return false;
    RM720_USED_EXPORTS
#undef RM720_EXPORT
    return true;
  }
  void unload() {
    if (handle) dlclose(handle);
    *this = Library{};
  }
};
Library lib;

card::Card* card_at(std::size_t slot) { return sim::machine()->cards().at(slot); }

// One step of the manual clock, then what came due has run.
void advance_us(std::uint64_t us) {
  auto& clock = dynamic_cast<card::ManualClock&>(sim::machine()->clock());
  for (std::uint64_t t = 0; t < us; t += 100) {
    clock.advance(100 * card::kNsPerUs);
    sim::wait_idle();
  }
}

bool driving(std::size_t slot, int axis) { return card_at(slot)->chip().last_drive(axis).running; }

int32_t command_counter(uint16_t axis, uint8_t card_id = 0) {
  int32_t value = -1;
  EXPECT_EQ(lib.get_cmdcounter(card_id, axis, &value), SUCCESS_NO_ERROR);
  return value;
}

// An event of the card: signalled now (without waiting).
bool signalled(void* event) {
  uint32_t index = 0;
  return SimWaitForObjects(1, &event, 0, 0, &index) == 0;
}

class DriverRules : public ::testing::Test {
 protected:
  void SetUp() override {
    SimMachineShutdown();
    ASSERT_EQ(sim::boot(kMachine), STATUS_SUCCESS);
    int16_t count = 0;
    ASSERT_TRUE(lib.load());
    ASSERT_EQ(lib.scan(&count, nullptr), SUCCESS_NO_ERROR);
    ASSERT_EQ(count, 2);
    ASSERT_EQ(lib.open(0), SUCCESS_NO_ERROR);
  }
  void TearDown() override {
    if (lib.close_all) lib.close_all();
    lib.unload();
    sim::shutdown();
  }
  // A move of X that runs for a while (1,000 pulses at 10,000 PPS: 0.1 s).
  static ApiStatus short_move(uint16_t axis, int32_t pulses = 1000, uint8_t card_id = 0) {
    return lib.t_move(card_id, axis, 1000, 10000, 1000000, 1000000, pulses, 0);
  }
};

// -------------------------------------------------------- Plug and Play

TEST_F(DriverRules, PnpOrderWithAnOpenCard) {
  struct Step {
    sim::Pnp request;
    NTSTATUS expected;
  };
  // The open file vetoes the query-remove; a stop follows a query-stop; a
  // start brings the card back.
  const Step steps[] = {
      {sim::Pnp::QueryRemove, STATUS_DEVICE_BUSY},
      {sim::Pnp::QueryStop, STATUS_SUCCESS},
      {sim::Pnp::CancelStop, STATUS_SUCCESS},
      {sim::Pnp::QueryStop, STATUS_SUCCESS},
      {sim::Pnp::Stop, STATUS_SUCCESS},
      {sim::Pnp::Start, STATUS_SUCCESS},
  };
  for (const Step& step : steps)
    EXPECT_EQ(sim::send_pnp(0, step.request), step.expected) << static_cast<int>(step.request);
  EXPECT_TRUE(sim::devices()[0].started);
  // The restarted card serves the open file: a move runs to its end.
  ASSERT_EQ(short_move(X), SUCCESS_NO_ERROR);
  advance_us(200000);
  EXPECT_EQ(command_counter(X), 1000);
}

TEST_F(DriverRules, QueryRemoveAfterCloseThenRemove) {
  ASSERT_EQ(lib.close(0), SUCCESS_NO_ERROR);
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::QueryRemove), STATUS_SUCCESS);
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::CancelRemove), STATUS_SUCCESS);
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::QueryRemove), STATUS_SUCCESS);
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::Remove), STATUS_SUCCESS);
  EXPECT_EQ(sim::devices()[0].fdo, nullptr);
  // The other card on the shared line goes on serving.
  ASSERT_EQ(lib.open(1), SUCCESS_NO_ERROR);
  ASSERT_EQ(short_move(X, 500, 1), SUCCESS_NO_ERROR);
  advance_us(200000);
  EXPECT_EQ(command_counter(X, 1), 500);
}

// A rebalance would halt the machine: the stop is vetoed while axes drive,
// and they drive on. A surprise removal leaves no axis moving.
TEST_F(DriverRules, AStopIsVetoedWhileAxesDriveAndARemovalLeavesThemStanding) {
  ASSERT_EQ(lib.velocity_move(0, X, 1000, 10000, 1000000, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(lib.velocity_move(0, Y, 1000, 10000, 1000000, 0), SUCCESS_NO_ERROR);
  advance_us(10000);
  ASSERT_TRUE(driving(0, 0));
  ASSERT_TRUE(driving(0, 1));
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::QueryStop), STATUS_DEVICE_BUSY);
  advance_us(10000);
  EXPECT_TRUE(driving(0, 0)) << "the drives go on";
  EXPECT_TRUE(driving(0, 1));

  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::SurpriseRemoval), STATUS_SUCCESS);
  advance_us(10000);
  const auto x = card_at(0)->chip().last_drive(0), y = card_at(0)->chip().last_drive(1);
  EXPECT_FALSE(x.running);
  EXPECT_FALSE(y.running);
  advance_us(50000);
  EXPECT_EQ(card_at(0)->chip().last_drive(0).pulses, x.pulses);
  EXPECT_EQ(card_at(0)->chip().last_drive(1).pulses, y.pulses);
  // A remove asked for with the file open waits for its close. The card
  // that is gone refuses the unmap request; the close still closes the
  // file (the driver unmaps the buffer at cleanup) so the remove goes ahead.
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::Remove), STATUS_PENDING);
  EXPECT_EQ(lib.close(0), ERROR_MEMORY_UNMAP);
  sim::wait_idle();
  EXPECT_EQ(sim::devices()[0].fdo, nullptr);
  EXPECT_NE(lib.close(0), SUCCESS_NO_ERROR) << "the card is closed";
}

// ---------------------------------------------------------------- power

TEST_F(DriverRules, DevicePowerQueries) {
  struct Row {
    DEVICE_POWER_STATE state;
    NTSTATUS expected;
  };
  const Row rows[] = {{PowerDeviceD0, STATUS_SUCCESS},
                      {PowerDeviceD1, STATUS_POWER_STATE_INVALID},
                      {PowerDeviceD2, STATUS_POWER_STATE_INVALID},
                      {PowerDeviceD3, STATUS_SUCCESS}};
  for (const Row& row : rows)
    EXPECT_EQ(sim::query_device_power(0, row.state), row.expected) << row.state;
}

// Sleep and wake with the card open: the recorded state follows, and then a
// move, a waited line and an event wait work as before the sleep, whether the
// axis's factor was set before the sleep or after the wake.
TEST_F(DriverRules, SleepAndWakeWithTheCardOpen) {
  void* events[4] = {};
  ASSERT_EQ(lib.int_event_config(0, 1, events), SUCCESS_NO_ERROR);
  ASSERT_EQ(lib.set_int_factor(0, Z, kDriveEnd), SUCCESS_NO_ERROR);

  ASSERT_EQ(sim::set_system_power(0, PowerSystemSleeping3), STATUS_SUCCESS);
  sim::wait_idle();  // the device-power request the system change asked for
  EXPECT_EQ(sim::reported_power_state(0), PowerDeviceD3);
  ASSERT_EQ(sim::set_system_power(0, PowerSystemWorking), STATUS_SUCCESS);
  sim::wait_idle();
  EXPECT_EQ(sim::reported_power_state(0), PowerDeviceD0);
  ASSERT_EQ(lib.set_int_factor(0, Y, kDriveEnd), SUCCESS_NO_ERROR);

  ASSERT_EQ(short_move(X), SUCCESS_NO_ERROR);
  advance_us(200000);
  EXPECT_EQ(command_counter(X), 1000);

  std::atomic<int> line{1};
  std::thread waiter(
      [&] { line = lib.t_line2_move(0, X, Y, 1000, 10000, 1000000, 1000000, 800, 400, 0, 1); });
  for (int i = 0; i < 3000 && line == 1; ++i) advance_us(100);
  waiter.join();
  EXPECT_EQ(line, SUCCESS_NO_ERROR);
  EXPECT_EQ(command_counter(X), 1800);
  EXPECT_EQ(command_counter(Y), 400);

  struct Row {
    const char* when;
    uint16_t axis;
    int index;
  };
  const Row rows[] = {{"factor set after the wake", Y, 1}, {"factor set before the sleep", Z, 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.when);
    signalled(events[row.index]);  // the line's own drive end on Y
    const int32_t before = command_counter(row.axis);
    ASSERT_EQ(short_move(row.axis, 300), SUCCESS_NO_ERROR);
    advance_us(100000);
    EXPECT_EQ(command_counter(row.axis), before + 300);
    EXPECT_TRUE(signalled(events[row.index]));
    int16_t status = 0;
    EXPECT_EQ(lib.get_int_status(0, row.axis, &status), SUCCESS_NO_ERROR);
    EXPECT_EQ(status, kDriveEndFactor);
  }
}

// Device D3 then D0 straight: the recorded state is D3, then D0, and the
// card is usable again.
TEST_F(DriverRules, DeviceSleepThenWake) {
  ASSERT_EQ(sim::set_device_power(0, PowerDeviceD3), STATUS_SUCCESS);
  EXPECT_EQ(sim::reported_power_state(0), PowerDeviceD3);
  ASSERT_EQ(sim::set_device_power(0, PowerDeviceD0), STATUS_SUCCESS);
  EXPECT_EQ(sim::reported_power_state(0), PowerDeviceD0);
  ASSERT_EQ(short_move(Y, -700), SUCCESS_NO_ERROR);
  advance_us(200000);
  EXPECT_EQ(command_counter(Y), -700);
}

// ---------------------------------------------------- interrupt service

// The event of an axis is signalled on that axis's factor only, and a second
// card's interrupt on the shared line touches none of the first card's.
TEST_F(DriverRules, EventsOnTheirOwnFactorAndCard) {
  ASSERT_EQ(lib.open(1), SUCCESS_NO_ERROR);
  void* events0[4] = {};
  void* events1[4] = {};
  ASSERT_EQ(lib.int_event_config(0, 1, events0), SUCCESS_NO_ERROR);
  ASSERT_EQ(lib.int_event_config(1, 1, events1), SUCCESS_NO_ERROR);
  for (uint8_t c : {0, 1})
    for (uint16_t axis : {X, Y})
      ASSERT_EQ(lib.set_int_factor(c, axis, kDriveEnd), SUCCESS_NO_ERROR);

  struct Row {
    uint8_t card;
    uint16_t axis;
  };
  const Row rows[] = {{1, X}, {0, Y}, {1, Y}, {0, X}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "card " << int(row.card) << " axis " << row.axis);
    ASSERT_EQ(short_move(row.axis, 200, row.card), SUCCESS_NO_ERROR);
    advance_us(100000);
    const int index = row.axis == X ? 0 : 1;
    for (uint8_t c : {0, 1})
      for (int a : {0, 1, 2, 3})
        EXPECT_EQ(signalled((c ? events1 : events0)[a]), c == row.card && a == index)
            << "card " << int(c) << " event " << a;
  }
}

// A level-triggered local input 2 held active (a stuck remote-I/O line) is
// served once: the deferred call leaves the input disabled and the card
// unmasked, and no axis of either card sees a factor.
TEST_F(DriverRules, StuckSecondLocalInputIsQuieted) {
  const auto intcsr = [] {
    std::uint32_t value = 0;
    EXPECT_TRUE(card_at(0)->mmio_read(card_at(0)->bar(0).base + 0x4C, 4, &value));
    return value;
  };
  const std::uint32_t b = intcsr();
  card_at(0)->force_local_interrupt(card::LocalInterrupt::Torix, true);
  sim::wait_idle();
  advance_us(1000);
  const std::uint32_t a = intcsr();
  card_at(0)->force_local_interrupt(card::LocalInterrupt::Torix, std::nullopt);
  EXPECT_EQ(a & 0x40, 0x40u) << std::hex << b << " -> " << a;
  if ((b & 0x08) && !(b & 0x200)) {
    EXPECT_EQ(a & 0x08, 0u) << std::hex << b << " -> " << a;
  }
  ASSERT_EQ(lib.open(1), SUCCESS_NO_ERROR);
  for (uint8_t c : {0, 1})
    for (uint16_t axis : {X, Y, Z, uint16_t{8}}) {
      int16_t status = -1;
      EXPECT_EQ(lib.get_int_status(c, axis, &status), SUCCESS_NO_ERROR);
      EXPECT_EQ(status, 0) << "card " << int(c) << " axis " << axis;
    }
}

// A waited line ends by its own master's drive end, not by another axis's.
TEST_F(DriverRules, WaitedLineEndsOnlyByItsOwnFactor) {
  std::atomic<int> line{1};
  std::thread waiter(
      [&] { line = lib.t_line2_move(0, X, Y, 1000, 10000, 1000000, 1000000, 2000, 1000, 0, 1); });
  // A short move of Z ends long before the line.
  for (int i = 0; i < 100 && !driving(0, 0); ++i) advance_us(100);
  ASSERT_EQ(short_move(Z, 100), SUCCESS_NO_ERROR);
  advance_us(50000);
  EXPECT_FALSE(driving(0, 2));
  EXPECT_EQ(line, 1) << "the line returned before its own drive end";
  EXPECT_TRUE(driving(0, 0));
  for (int i = 0; i < 5000 && line == 1; ++i) advance_us(100);
  waiter.join();
  EXPECT_EQ(line, SUCCESS_NO_ERROR);
  EXPECT_EQ(command_counter(X), 2000);
  EXPECT_EQ(command_counter(Y), 1000);
  EXPECT_EQ(command_counter(Z), 100);
}

// ------------------------------------------------- home-search timer

// Mode 4 plus: out to the plus limit, back off it at the low speed, and back
// onto it; then the search is over and nothing runs any more.
TEST_F(DriverRules, ModeFourSearchEndsOnTheLimit) {
  ASSERT_EQ(lib.set_home_cfg_ex(0, X, 0, 0, 0, 4, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(lib.home_start(0, X, 1000, 1000000, 1000000, 20000, 5000, 0), SUCCESS_NO_ERROR);
  uint8_t done = 0;
  int16_t state = 0;
  int starts = 0;
  std::uint64_t last_start = ~std::uint64_t{0};
  for (int i = 0; i < 20000; ++i) {
    advance_us(100);
    const auto drive = card_at(0)->chip().last_drive(0);
    if (drive.started_ns != last_start) ++starts, last_start = drive.started_ns;
    ASSERT_EQ(lib.motion_done(0, X, &done, &state), SUCCESS_NO_ERROR);
    if (done == 1 && !drive.running && starts >= 3) break;
  }
  // The search move, the move back and the final approach.
  EXPECT_EQ(starts, 3);
  EXPECT_EQ(done, 1);
  const int32_t end = command_counter(X);
  EXPECT_GE(end, 2000);
  const auto final_drive = card_at(0)->chip().last_drive(0);
  advance_us(50000);
  EXPECT_EQ(card_at(0)->chip().last_drive(0).started_ns, final_drive.started_ns);
  EXPECT_EQ(command_counter(X), end);
}

// A waited mode-4 search returns only once the search is over, not at the
// drive end of another axis, nor at the end of its own first search move.
TEST_F(DriverRules, WaitedModeFourSearchEndsWithTheSearch) {
  ASSERT_EQ(lib.set_home_cfg_ex(0, X, 0, 0, 0, 4, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(lib.set_int_factor(0, Z, kDriveEnd), SUCCESS_NO_ERROR);
  std::atomic<int> home{1};
  std::thread waiter([&] { home = lib.home_start(0, X, 1000, 1000000, 1000000, 20000, 5000, 1); });
  for (int i = 0; i < 100 && !driving(0, 0); ++i) advance_us(100);
  ASSERT_EQ(short_move(Z, 100), SUCCESS_NO_ERROR);
  advance_us(50000);
  EXPECT_EQ(home, 1) << "returned at another axis's drive end";
  // The search move, the move back off the limit and the final approach.
  std::uint64_t last_start = ~std::uint64_t{0};
  int starts = 0;
  for (int i = 0; i < 20000 && home == 1; ++i) {
    advance_us(100);
    const auto drive = card_at(0)->chip().last_drive(0);
    if (drive.started_ns != last_start) ++starts, last_start = drive.started_ns;
  }
  waiter.join();
  EXPECT_EQ(home, SUCCESS_NO_ERROR);
  EXPECT_EQ(starts, 3);
  EXPECT_FALSE(driving(0, 0));
  EXPECT_GE(command_counter(X), 2000);
  EXPECT_EQ(command_counter(Z), 100);
}

// A stop of all axes during a mode-5 search ends it without a further move.
TEST_F(DriverRules, StopAllEndsModeFiveSearch) {
  ASSERT_EQ(lib.set_home_cfg_ex(0, X, 0, 0, 0, 5, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(lib.home_start(0, X, 1000, 1000000, 1000000, 20000, 5000, 0), SUCCESS_NO_ERROR);
  advance_us(20000);
  ASSERT_TRUE(driving(0, 0));
  ASSERT_EQ(lib.stop_move_all(0, X, 0x26), SUCCESS_NO_ERROR);
  advance_us(50000);
  const auto stopped = card_at(0)->chip().last_drive(0);
  EXPECT_FALSE(stopped.running);
  advance_us(200000);
  EXPECT_EQ(card_at(0)->chip().last_drive(0).started_ns, stopped.started_ns);
  EXPECT_FALSE(driving(0, 0));
}

// ------------------------------------------- sources of the interrupt
// A card whose bridge and factors the test sets by hand, served by the real
// driver: which INTCSR states the service routine claims, and what the
// deferred call leaves behind.

class InterruptSources : public ::testing::Test {
 protected:
  void SetUp() override {
    SimMachineShutdown();
    card_ = std::make_unique<driver_test::ScriptedCard>();
    sim::Parts parts;
    parts.functions = {card_.get()};
    parts.clock = &clock_;
    parts.advance = [this](card::SimTime t) { clock_.advance(t); };
    ASSERT_EQ(sim::boot(parts), STATUS_SUCCESS);
    ASSERT_TRUE(sim::devices().at(0).started);
    ASSERT_TRUE(lib.load());
    int16_t count = 0;
    ASSERT_EQ(lib.scan(&count, nullptr), SUCCESS_NO_ERROR);
    ASSERT_EQ(count, 1);
    ASSERT_EQ(lib.get_cardinfo(0, &id_), SUCCESS_NO_ERROR);
    ASSERT_EQ(lib.open(id_), SUCCESS_NO_ERROR);
    sim::wait_idle();
  }
  void TearDown() override {
    if (lib.close_all) lib.close_all();
    lib.unload();
    sim::shutdown();
  }
  int16_t factor_of(uint16_t axis) {
    int16_t status = -1;
    EXPECT_EQ(lib.get_int_status(id_, axis, &status), SUCCESS_NO_ERROR);
    return status;
  }

  uint8_t id_ = 0;
  card::ManualClock clock_;
  std::unique_ptr<driver_test::ScriptedCard> card_;
};

TEST_F(InterruptSources, ClaimedSourcesAndWhatTheDeferredCallLeaves) {
  constexpr uint32_t kPci = 0x40, kL1En = 0x01, kL1Edge = 0x100, kSoft = 0x80;
  struct Row {
    const char* name;
    uint32_t clear, set;  // INTCSR before the event
    int axis;             // factor raised on this axis, -1 none
    uint16_t factor;
    bool claimed;                // factors read X, Y, Z, U
    unsigned edge_clears;        // local-1 edge clears written
    uint32_t mask, expected;     // INTCSR & mask afterwards
    int16_t x_factor, y_factor;  // stored factors afterwards
  };
  const Row rows[] = {
      {"PCI enable clear", kPci, kL1En, 0, 128, false, 0, kPci | kL1En, kL1En, 0, 0},
      {"local 1 enabled, nothing raised", 0, kPci | kL1En, -1, 0, false, 0, kPci | kL1En,
       kPci | kL1En, 0, 0},
      {"local 1 edge, drive end on X", 0, kPci | kL1En, 0, 128, true, 1, kPci | kL1En, kPci | kL1En,
       128, 0},
      {"local 1 level, home end on Y", kL1Edge, kPci | kL1En, 1, 256, true, 0, kPci | kL1En, kPci,
       0, 256},
      {"local 1 raised but disabled", kL1En, kPci, 0, 128, false, 0, kPci | kL1En, kPci, 0, 0},
      {"software interrupt", 0, kPci | kSoft, -1, 0, false, 0, kPci | kSoft, kPci, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TearDown();
    SetUp();
    const std::size_t selects_before = card_->selects().size();
    const unsigned edges_before = card_->edge_clears();
    card_->clear_intcsr_bits(row.clear);
    card_->set_intcsr_bits(row.set);
    if (row.axis >= 0) card_->raise_factor(row.axis, row.factor);
    sim::wait_idle();
    const std::vector<unsigned> selects = card_->selects();
    const std::vector<unsigned> read(selects.begin() + static_cast<long>(selects_before),
                                     selects.end());
    const std::vector<unsigned> all_four = {1, 2, 4, 8};
    EXPECT_EQ(read, row.claimed ? all_four : std::vector<unsigned>());
    EXPECT_EQ(card_->edge_clears() - edges_before, row.edge_clears);
    EXPECT_EQ(card_->intcsr() & row.mask, row.expected) << std::hex << card_->intcsr();
    EXPECT_EQ(factor_of(X), row.x_factor);
    EXPECT_EQ(factor_of(Y), row.y_factor);
  }
}

}  // namespace
