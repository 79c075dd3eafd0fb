/* The Torix remote-I/O bus: output and input groups, the module scan, the
 * bus configuration and reset, and the bus's interrupt (the bridge's local
 * interrupt 2).
 *
 * Two flags say whether the Torix interrupt is on: the Torix bit of the
 * card's source flags (cleared as well whenever a handler switches the chip
 * interrupt on) answers the cached reads; the Torix interrupt flag, which
 * only the configuration sets, answers the mode-0 reads. The input cache is
 * filled when the interrupt goes on and refreshed by the DPC at each Torix
 * interrupt, under the interrupt lock. */
#include "rm7x0_driver.h"

namespace {

constexpr ULONG TORIX_RESET_HOLD_MS = 2;

constexpr USHORT DI_MODE_CACHED_CONFIGURED = 0;  /* the cache, once the bus was configured */
constexpr USHORT DI_MODE_LIVE = 1;

/* Output group n and input group 8 + n share one register. */
constexpr ULONG torix_port_register(USHORT group) { return REG_TORIX_PORT + 2u * (group & 7u); }

/* A port outside its groups would address a register beyond the Torix
 * ports: the request fails, and its word says why. */
USHORT refuse_port(RequestContext *request) {
  request->status = STATUS_INVALID_PARAMETER;
  return DRV_REGISTER_OUT_OF_WINDOW;
}

BOOLEAN is_input_port(USHORT port) { return port >= TORIX_DI_PORT_FIRST && port <= TORIX_DI_PORT_LAST; }

BOOLEAN torix_bit_set(CardExtension *ext) {
  return (read_interlocked((volatile LONG *)&ext->int_sources.word[1]) & SOURCE_FLAG_TORIX) != 0;
}

USHORT cached_input(CardExtension *ext, USHORT port) {
  USHORT word = 0;
  run_synchronized(ext, [&] { word = ext->torix_input_cache[port - TORIX_DI_PORT_FIRST]; });
  return word;
}

/* The Torix bit and the bridge's Torix input, switched together. */
VOID switch_torix_source(CardExtension *ext, BOOLEAN on) {
  const IntSourceSet torix = {{0, SOURCE_FLAG_TORIX}};
  volatile LONG *flags = (volatile LONG *)&ext->int_sources.word[1];
  if (on) {
    InterlockedOr(flags, SOURCE_FLAG_TORIX);
    int_sources_enable(ext, &torix);
  } else {
    InterlockedAnd(flags, ~(LONG)SOURCE_FLAG_TORIX);
    int_sources_disable(ext, &torix);
  }
}

VOID delay_ms(ULONG milliseconds) {
  LARGE_INTEGER interval;
  interval.QuadPart = -10000LL * milliseconds;  /* relative, in 100 ns */
  KeDelayExecutionThread(KernelMode, FALSE, &interval);
}

}  // namespace

/* Read once the bus's interrupt is on: a change after the read interrupts,
 * and the DPC reads again. */
VOID refresh_torix_inputs(CardExtension *ext) {
  run_synchronized(ext, [&] {
    for (USHORT port = TORIX_DI_PORT_FIRST; port <= TORIX_DI_PORT_LAST; ++port)
      ext->torix_input_cache[port - TORIX_DI_PORT_FIRST] = card_read16(ext, torix_port_register(port));
  });
}

USHORT set_torix_do(RequestContext *request) {
  const USHORT port = slot_u16(request->block, SET_TORIX_DO_PORT);
  if (port > TORIX_DO_PORT_LAST) return refuse_port(request);
  card_write16_sync(request->ext, torix_port_register(port),
                    slot_u16(request->block, SET_TORIX_DO_WORD));
  return DRV_SUCCESS;
}

USHORT get_torix_di(RequestContext *request) {
  CardExtension *ext = request->ext;
  const USHORT port = slot_u16(request->block, GET_TORIX_DI_PORT);
  const USHORT mode = slot_u16(request->block, GET_TORIX_DI_MODE);
  if (!is_input_port(port)) return refuse_port(request);
  if (mode == DI_MODE_CACHED_CONFIGURED && ext->torix_interrupt == 0) return DRV_TORIX_DI_INT_OFF;
  const USHORT word = mode == DI_MODE_LIVE ? card_read16_sync(ext, torix_port_register(port))
                                           : cached_input(ext, port);
  set_slot(request->block, GET_TORIX_DI_REPLY_WORD, word);
  return DRV_SUCCESS;
}

USHORT get_torix_di_cached(RequestContext *request) {
  const USHORT port = slot_u16(request->block, GET_TORIX_DI_CACHED_PORT);
  if (!is_input_port(port)) return refuse_port(request);
  if (!torix_bit_set(request->ext)) return DRV_TORIX_INT_OFF;
  set_slot(request->block, GET_TORIX_DI_CACHED_REPLY_WORD, cached_input(request->ext, port));
  return DRV_SUCCESS;
}

USHORT scan_torix(RequestContext *request) {
  set_slot(request->block, SCAN_TORIX_DI_REPLY_MODULES,
           card_read16_sync(request->ext, REG_TORIX_SCAN));
  return DRV_SUCCESS;
}

/* The bus's interrupt stays off while the configuration word changes. */
USHORT config_torix(RequestContext *request) {
  CardExtension *ext = request->ext;
  const BOOLEAN enable = slot_u16(request->block, CONFIG_TORIX_ENABLE) == 1;
  if (enable && compare_table_reloading(ext)) return DRV_CONFLICT_CMP_MODE;
  card_write16_sync(ext, REG_TORIX_INT, TORIX_INT_OFF);
  card_write16_sync(ext, REG_TORIX_CONFIG, slot_u16(request->block, CONFIG_TORIX_WORD));
  ext->torix_interrupt = enable ? 1 : 0;
  switch_torix_source(ext, enable);
  if (enable) {
    card_write16_sync(ext, REG_TORIX_INT, TORIX_INT_ON);
    refresh_torix_inputs(ext);
  }
  return DRV_SUCCESS;
}

/* The interrupt alone; the configuration's flag is left as it is. */
USHORT set_torix_int(RequestContext *request) {
  const USHORT value = slot_u16(request->block, SET_TORIX_INT_VALUE);
  card_write16_sync(request->ext, REG_TORIX_INT, value);
  switch_torix_source(request->ext, value == TORIX_INT_ON);
  if (value == TORIX_INT_ON) refresh_torix_inputs(request->ext);
  return DRV_SUCCESS;
}

/* The bus is held in reset for 2 ms and comes back unconfigured: its
 * interrupt off until the next configuration. */
USHORT reset_torix(RequestContext *request) {
  CardExtension *ext = request->ext;
  card_write16_sync(ext, REG_TORIX_RESET, TORIX_RESET_HOLD);
  delay_ms(TORIX_RESET_HOLD_MS);
  card_write16_sync(ext, REG_TORIX_RESET, TORIX_RESET_RELEASE);
  card_write16_sync(ext, REG_TORIX_INT, TORIX_INT_OFF);
  ext->torix_interrupt = 0;
  switch_torix_source(ext, FALSE);
  return DRV_SUCCESS;
}

USHORT set_torix_aux(RequestContext *request) {
  card_write16_sync(request->ext, REG_TORIX_AUX, slot_u16(request->block, SET_TORIX_REG48_VALUE));
  return DRV_SUCCESS;
}

VOID torix_reset(CardExtension *ext) { ext->torix_interrupt = 0; }
