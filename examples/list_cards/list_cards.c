/* Finds the cards of both models, opens each one and prints what it is:
 * its ID (set on the card's DIP switch) and its logic version. */
#include <stdio.h>

#include <rm720.h>
#include <rm730.h>

/* The calls used here, which both libraries export under their own prefix. */
struct model {
  const char *name;
  ApiStatus (*scan)(int16_t *count, uint8_t *present);
  ApiStatus (*get_cardinfo)(int32_t index, uint8_t *card_id);
  ApiStatus (*open)(uint8_t card);
  ApiStatus (*get_dipsw_id)(uint8_t card, uint8_t *id);
  ApiStatus (*cpld_ver_get)(uint8_t card, int16_t *version, int32_t *date_code);
  ApiStatus (*close)(uint8_t card);
};

static const struct model models[] = {
  {"rm720", rm720_scan, rm720_get_cardinfo, rm720_open, rm720_get_dipsw_id,
   rm720_cpld_ver_get, rm720_close},
  {"rm730", rm730_scan, rm730_get_cardinfo, rm730_open, rm730_get_dipsw_id,
   rm730_cpld_ver_get, rm730_close},
};

/* Opens card `card`, prints it and closes it again; 0 on success. */
static int show_card(const struct model *m, uint8_t card) {
  ApiStatus status = m->open(card);
  if (status != SUCCESS_NO_ERROR) {
    printf("  card %u: %s_open failed (%d)\n", card, m->name, status);
    return 1;
  }
  uint8_t dip_switch = 0;
  int16_t version = 0;
  int32_t date_code = 0;
  status = m->get_dipsw_id(card, &dip_switch);
  if (status == SUCCESS_NO_ERROR) status = m->cpld_ver_get(card, &version, &date_code);
  if (status == SUCCESS_NO_ERROR)
    printf("  card %u: DIP switch %u, CPLD version %d, date code %08X\n", card, dip_switch,
           version, (unsigned)date_code);
  else
    printf("  card %u: query failed (%d)\n", card, status);
  m->close(card);
  return status != SUCCESS_NO_ERROR;
}

/* Prints every card of one model; 0 when each could be opened and read. */
static int show_model(const struct model *m) {
  int16_t count = 0;
  const ApiStatus status = m->scan(&count, NULL);
  if (status == ERROR_NO_CARD_FOUND) {
    printf("%s: no card found\n", m->name);
    return 0;
  }
  if (status != SUCCESS_NO_ERROR) {
    printf("%s: %s_scan failed (%d)\n", m->name, m->name, status);
    return 1;
  }
  printf("%s: %d card(s) found\n", m->name, count);
  int failures = 0;
  for (int32_t index = 0; index < count; ++index) {
    uint8_t card = 0;
    if (m->get_cardinfo(index, &card) == SUCCESS_NO_ERROR)
      failures += show_card(m, card);
    else
      ++failures;
  }
  return failures;
}

int main(void) {
  int failures = 0;
  for (size_t i = 0; i < sizeof models / sizeof models[0]; ++i) failures += show_model(&models[i]);
  return failures == 0 ? 0 : 1;
}
