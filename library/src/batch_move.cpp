// The three-step batch move of one axis (model A): steps 1 and 2 are one
// T-curve move whose drive speed the card changes to V2 at the end of step 1
// (a synchronous action on the command counter, with V2 preloaded in the
// chip's data register); step 3 is a new T-curve move that a worker thread
// issues once the axis stopped at the end of step 2. Speeds in PPS, rates in
// PPS/s, distances in pulses.
#ifndef RM7X0_MODEL_B

#include "batch_move.h"

#include <memory>

#include "card_table.h"
#include "checks.h"
#include "model.h"
#include "request.h"
#include "synchronous_action.h"
#include "t_curve_request.h"
#include "unit_conversion.h"

namespace {

constexpr uint16_t CONDITION_COMP_PLUS_UP = 1;     // step 1 ends counting up
constexpr uint16_t CONDITION_COMP_MINUS_DOWN = 4;  // d1 below 1
constexpr uint16_t ACTION_SPEED_FROM_DATA = 0x0800;
constexpr uint8_t REGISTER_WRITE = 1;
constexpr uint8_t REGISTER_DATA_LOW = 12;
constexpr DWORD POLL_PAUSE_MS = 1;
constexpr DWORD EXIT_STOPPED_EARLY = 1, EXIT_CARD_RESET = 2;
constexpr ApiStatus WORKER_NOT_STARTED = -1;

// One call's job, owned by its worker.
struct BatchStepJob {
  uint8_t card;
  uint16_t axis;
  int16_t state;
  int32_t end_of_step1;  // command counter at the call + d1
  int32_t end_of_step2;  // ... + d1 + d2
  uint32_t sv;
  uint32_t v3;
  uint32_t acc3;
  int32_t d3;
  uint32_t resets;  // of the card at the call
};

// The worker of the last call; closed, without waiting, by the next one.
HANDLE batch_worker = nullptr;

int32_t wrapping_add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

ApiStatus disarm_speed_change(uint8_t card, uint16_t axis) {
  return rm720_set_synch(card, axis, 0, 0, 0, 0, 0, 0, 0, 0);
}

// Whether the axis stands, straight from the driver: the worker leaves the
// card table to the caller's thread (motion_done would read the axis's
// motion state, which a reset or a home search rewrites meanwhile).
ApiStatus read_stopped(const BatchStepJob &job, uint8_t *stopped) {
  DriverRequest block{};
  preset_status(block);
  put_u32(block, SLOT_AXES, job.axis);
  const ApiStatus status =
      request_only(card_device(job.card), REQ_MOTION_DONE, block, ERROR_MOTION_DONE_GET);
  *stopped = static_cast<uint8_t>(slot_u32(block, MOTION_DONE_REPLY_DONE));
  return status;
}

// A reset of the card ended the job: the reset disarmed its speed change,
// and the axis may run another caller's move by now.
bool card_was_reset(const BatchStepJob &job) { return card_resets[job.card] != job.resets; }

// Waits for the axis to stop; step 3 runs only where step 2 ended. The
// speed change arms itself again at every pass of the end of step 1, so it
// is switched off once steps 1 and 2 are over, however they ended: a later
// move of the axis keeps its own speed. A failed query ends the worker with
// its status instead of polling for ever; a reset of the card ends it
// without touching the card.
DWORD WINAPI run_step3(LPVOID context) {
  const std::unique_ptr<BatchStepJob> job(static_cast<BatchStepJob *>(context));
  uint8_t done = 0;
  for (;;) {
    if (ApiStatus status = read_stopped(*job, &done)) {
      disarm_speed_change(job->card, job->axis);
      return static_cast<DWORD>(status);
    }
    if (card_was_reset(*job)) return EXIT_CARD_RESET;
    if (done == 1) break;
    Sleep(POLL_PAUSE_MS);
  }
  if (ApiStatus status = disarm_speed_change(job->card, job->axis))
    return static_cast<DWORD>(status);
  int32_t counter = 0;
  if (ApiStatus status = rm720_get_cmdcounter(job->card, job->axis, &counter))
    return static_cast<DWORD>(status);
  if (counter != job->end_of_step2) return EXIT_STOPPED_EARLY;
  return static_cast<DWORD>(
      rm720_t_move(job->card, job->axis, job->sv, job->v3, job->acc3, job->acc3, job->d3, 0));
}

// The speed change at the end of step 1, on the command counter.
ApiStatus arm_speed_change(uint8_t card, uint16_t axis, int32_t end_of_step1, int32_t d1) {
  const uint16_t condition = d1 >= 1 ? CONDITION_COMP_PLUS_UP : CONDITION_COMP_MINUS_DOWN;
  const uint32_t trigger = static_cast<uint32_t>(end_of_step1);
  SynchAction action{1,
                     0,
                     condition,
                     ACTION_SPEED_FROM_DATA,
                     0,
                     0,
                     condition == CONDITION_COMP_PLUS_UP ? trigger : 0,
                     condition == CONDITION_COMP_MINUS_DOWN ? trigger : 0};
  DriverRequest block;
  fill_synch_request(block, axis, action);
  return judged_request(card_device(card), REQ_SET_SYNCH, block, ERROR_SYNCH_SET);
}

}  // namespace

void close_batch_worker() {
  if (batch_worker != nullptr) CloseHandle(batch_worker);
  batch_worker = nullptr;
}

namespace {

// Without its worker the job cannot end as asked: the move stops and the
// speed change goes, so that nothing of it runs on.
ApiStatus start_worker(BatchStepJob *job) {
  close_batch_worker();
  batch_worker = CreateThread(nullptr, 0, run_step3, job, 0, nullptr);
  if (batch_worker != nullptr) return SUCCESS_NO_ERROR;
  rm720_stop_move(job->card, job->axis, STOP_SUDDEN);
  disarm_speed_change(job->card, job->axis);
  delete job;
  return WORKER_NOT_STARTED;
}

}  // namespace

HANDLE last_batch_worker() { return batch_worker; }

// V2 and the command counter are checked before anything is sent, so a
// refusal leaves no action armed and no move running. V2 goes to the data
// register before the move starts (the driver keeps it there for the armed
// action whatever other requests write), so even a short step 1 ends at V2.
RM7X0_EXPORT ApiStatus rm720_t_move_batch_3steps(uint8_t card, uint16_t axis, uint32_t sv,
                                                 uint32_t dv, uint32_t v2, uint32_t v3,
                                                 uint32_t acc, uint32_t /*ignored*/, uint32_t acc3,
                                                 int32_t d1, int32_t d2, int32_t d3) {
  if (ApiStatus status = check_card_axis(card, axis)) return status;
  const uint32_t resets = card_resets[card];
  uint16_t v2_word = 0;
  if (!speed_to_register(card, axis, v2, &v2_word)) return ERROR_INVALID_DRIVING_SPEED;
  // The move's own checks, before the speed change is armed for it.
  DriverRequest move;
  if (ApiStatus status = prepare_t_move(card, axis, sv, dv, acc, acc, wrapping_add(d1, d2), 0, move))
    return status;
  int32_t start = 0;
  if (ApiStatus status = rm720_get_cmdcounter(card, axis, &start)) return status;
  const int32_t end_of_step1 = wrapping_add(start, d1);
  if (ApiStatus status = arm_speed_change(card, axis, end_of_step1, d1)) return status;
  int16_t scratch = 0;
  ApiStatus status = rm720_reg_rw_test(card, REGISTER_WRITE, REGISTER_DATA_LOW, &scratch, v2_word);
  if (status == SUCCESS_NO_ERROR)
    status = rm720_t_move(card, axis, sv, dv, acc, acc, wrapping_add(d1, d2), 0);
  if (status != SUCCESS_NO_ERROR) {
    disarm_speed_change(card, axis);
    return status;
  }
  return start_worker(new BatchStepJob{card, axis, 0, end_of_step1, wrapping_add(end_of_step1, d2),
                                       sv, v3, acc3, d3, resets});
}

#endif
