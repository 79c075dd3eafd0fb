/* The exports of a motion library, declared under the prefix that the
 * including model header chose with RM7X0_NAME (rm720.h: rm720_, rm730.h:
 * rm730_). No include guard: both model headers include it, each once. */
#if !defined(RM7X0_NAME) || !defined(RM7X0_EXPORT)
#error "include rm720.h or rm730.h instead"
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Setup: finding, opening and closing cards ---------------------------
 * A card is addressed by its ID (0..15), set on its DIP switch. */

/* Finds the cards of this model. *count: the number found; present (16
 * bytes, may be NULL): 1 at the index of each card ID found. Once cards were
 * found, later calls return the same result without looking again. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(scan)(int16_t *count, uint8_t *present);
/* Opens one card, or every card found. A card is open once per process. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(open)(uint8_t card);
RM7X0_EXPORT ApiStatus RM7X0_NAME(open_all)(void);
/* Closes a card, or every open card: its interrupt events are released, and
 * the application's copies of their handles become invalid. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(close)(uint8_t card);
RM7X0_EXPORT ApiStatus RM7X0_NAME(close_all)(void);

/* ---- Control ------------------------------------------------------------ */

/* Resets a card's motion chip, or every open card's: each axis is back at
 * the speed range of 16,000 PPS. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(reset)(uint8_t card);
RM7X0_EXPORT ApiStatus RM7X0_NAME(reset_all)(void);

/* ---- Queries ------------------------------------------------------------ */

/* The card ID of the index-th card found, counting from ID 0 upward. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_cardinfo)(int32_t index, uint8_t *card_id);

#ifdef __cplusplus
}
#endif
