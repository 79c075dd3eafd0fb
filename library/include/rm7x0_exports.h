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

/* ---- Setup: axis configuration -------------------------------------------
 * axis: one axis bit (AXIS_X .. AXIS_U). Values are the register words named
 * with each argument; other values are refused with the argument's status. */

/* Speed range, PPS (16,000 .. 8,000,000). With M = 8,000,000 / range the
 * axis's speeds run from M to 8,000 x M PPS in steps of M (range 16,000: up
 * to 4,000,000 PPS). Refused while the axis drives. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_range)(uint8_t card, uint16_t axis, uint32_t range);
/* The axis's six limits, in the order jerk max, jerk min (PPS/s^2),
 * acceleration min, acceleration max (PPS/s), speed min, speed max (PPS). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_range_settings)(uint8_t card, uint16_t axis,
                                                      int32_t limits[6]);
/* Pulse output: mode 0 (two pulse outputs) or 0x40 (pulse and direction),
 * level 0 or 0x80 (active low), direction 0 or 0x100 (used in mode 0x40). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_pls_cfg)(uint8_t card, uint16_t axis, uint16_t mode,
                                               uint16_t level, uint16_t direction);
/* Encoder input: 0 (1/1 AB phase), 512 (up/down pulses), 1024 (1/2 AB), 2048 (1/4 AB). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_enc_cfg)(uint8_t card, uint16_t axis, uint16_t mode);
/* Limit switches: logic 0 (active low) or 24 (active high); stop mode 0
 * (at once) or 4 (decelerating). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_limit)(uint8_t card, uint16_t axis, uint16_t logic,
                                             uint16_t stop_mode);
/* In-position input: enable 0 or 0x8000, logic 0 or 0x4000 (looked at when enabled). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_inp)(uint8_t card, uint16_t axis, uint16_t enable,
                                           uint16_t logic);
/* Servo alarm input: enable 0 or 0x2000, logic 0 or 0x1000 (looked at when enabled). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_alarm)(uint8_t card, uint16_t axis, uint16_t enable,
                                             uint16_t logic);
/* Servo-on output: on 0 or 1; value is kept by the driver with the state. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(servo_on)(uint8_t card, uint16_t axis, uint8_t on,
                                            uint8_t value);
/* Input filters: enable 0 or 1; configuration: the filtered input groups in
 * bits 8..12; delay n x 0x2000 (n = 0..7). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_filter)(uint8_t card, uint16_t axis, uint16_t enable,
                                              uint16_t configuration, uint16_t delay);
/* Software limits: enable 0 or 3; source 0 (command counter) or 32 (encoder
 * counter); limits in pulses. Refused while the axis's comparators serve the
 * ring counter, compare trigger or synchronous action. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_softlimit)(uint8_t card, uint16_t axis, uint16_t enable,
                                                 uint16_t source, int32_t plus_limit,
                                                 int32_t minus_limit);
/* Home inputs and search steps: home level 0 or 4, near-home level 0 or 1,
 * index level 0 or 16 (set: active high); step < 256, one 2-bit field per
 * search step (1 plus, 3 minus); pulses: the home offset. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_home_cfg)(uint8_t card, uint16_t axis, uint16_t home_level,
                                                uint16_t near_home_level, uint16_t index_level,
                                                uint16_t step, uint32_t pulses);
/* Extended home search: levels as set_home_cfg; mode 0..5 (4 and 5 run on
 * the driver's timer); direction 1 searches plus, any other value minus. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_home_cfg_ex)(uint8_t card, uint16_t axis,
                                                   uint16_t home_level, uint16_t near_home_level,
                                                   uint16_t index_level, uint16_t mode,
                                                   uint8_t direction);
/* Applies a saved configuration file (path, or NULL for RM720_Config.ini /
 * RM730_Config.ini in the Windows system folder) to every card found; each
 * card must be open. The file is checked whole before any card is changed. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(load_config)(const char *path);

/* ---- Control ------------------------------------------------------------ */

/* Resets a card's motion chip, or every open card's: each axis is back at
 * the speed range of 16,000 PPS. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(reset)(uint8_t card);
RM7X0_EXPORT ApiStatus RM7X0_NAME(reset_all)(void);

/* ---- Control: single-axis moves -------------------------------------------
 * Speeds SV (start) and DV (drive) in PPS; ACC and DEC in PPS/s, JERK and
 * DEC_RATE (deceleration jerk) in PPS/s^2 (in milliseconds on a card whose
 * option makes them times); pulses: signed distance, its sign the
 * direction; AO: pulses output at the start speed at the end of the move.
 * The "all" forms take a mask of axes and arrays of four entries indexed by
 * axis (0 X .. 3 U; only the entries of the masked axes are read; AO may be
 * NULL for all 0) and start the axes on the same chip tick. */

/* Runs until stopped; dir 1 plus, 0 minus. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(velocity_move)(uint8_t card, uint16_t axis, uint32_t sv,
                                                 uint32_t dv, uint32_t acc, uint8_t dir);
/* A distance at one constant speed. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(const_move)(uint8_t card, uint16_t axis, uint32_t dv,
                                              int32_t pulses);
RM7X0_EXPORT ApiStatus RM7X0_NAME(const_moveall)(uint8_t card, uint16_t axes, const uint32_t *dv,
                                                 const int32_t *pulses);
/* A distance with a trapezoidal speed profile (T-curve). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_move)(uint8_t card, uint16_t axis, uint32_t sv, uint32_t dv,
                                          uint32_t acc, uint32_t dec, int32_t pulses, int16_t ao);
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_moveall)(uint8_t card, uint16_t axes, const uint32_t *sv,
                                             const uint32_t *dv, const uint32_t *acc,
                                             const uint32_t *dec, const int32_t *pulses,
                                             const int16_t *ao);
/* T-curve triangle avoidance: 0 off, 8 on (a short move runs half of its
 * distance at constant speed instead of a peaked triangle). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_set_avtri)(uint8_t card, uint16_t axis, uint16_t setting);
/* New drive speed of a running T-curve move, at constant speed only; ACC or
 * DEC 0 keeps the rate in force. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_change_v)(uint8_t card, uint16_t axis, uint32_t dv,
                                              uint32_t acc, uint32_t dec);
/* A distance with a jerk-limited speed profile (S-curve). DEC_RATE 0: the
 * deceleration jerk equals JERK. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_move)(uint8_t card, uint16_t axis, uint32_t sv, uint32_t dv,
                                          uint32_t jerk, uint32_t dec_rate, int32_t pulses,
                                          int16_t ao);
/* As s_move for several axes; each DV entry receives the drive speed its
 * move was planned with (lowered where the distance is too short). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_moveall)(uint8_t card, uint16_t axes, const uint32_t *sv,
                                             uint32_t *dv, const uint32_t *jerk,
                                             const uint32_t *dec_rate, const int32_t *pulses,
                                             const int16_t *ao);
/* S-curve triangle avoidance for the library's planning: 0 off, 8 on. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_set_avtri)(uint8_t card, uint16_t axis, uint16_t setting);
/* Lowers the drive speed of the axis's running planned S-curve move (one
 * whose deceleration jerk differs from its jerk); JERK or DEC_RATE 0 keeps it. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_change_v)(uint8_t card, uint16_t axis, uint32_t dv,
                                              uint32_t jerk, uint32_t dec_rate);

/* ---- Control: continuous interpolation ------------------------------------
 * A chain of line and arc segments on two or three axes at one vector speed
 * (PPS) without a stop between them. begin opens it (axis3 0 or 255: two
 * axes); each segment follows when next_ready reports 1; end closes it.
 * Segment mode: 0 the first segment (axes at rest), 1 a segment following the
 * running one; lines also take 2 to 4. Modes 1, 2 and 4 count absolute
 * coordinates from the axes' last targets, 0 and 3 from their positions.
 * Distances and points in pulses, relative to where the segment begins (the
 * abs_ forms: absolute); arc direction 0x32 clockwise, 0x33 counter-clockwise,
 * centre (cx, cy) and end (ex, ey). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_interp_begin)(uint8_t card, uint16_t axis1, uint16_t axis2,
                                                      uint16_t axis3, uint32_t speed);
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_interp_end)(uint8_t card);
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_interp_next_ready)(uint8_t card, uint8_t *ready);
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_line2_move)(uint8_t card, int32_t dx, int32_t dy,
                                                    uint16_t mode);
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_line3_move)(uint8_t card, int32_t dx, int32_t dy,
                                                    int32_t dz, uint16_t mode);
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_arc2_move)(uint8_t card, uint16_t direction, int32_t cx,
                                                   int32_t cy, int32_t ex, int32_t ey,
                                                   uint16_t mode);
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_abs_line2_move)(uint8_t card, int32_t x, int32_t y,
                                                        uint16_t mode);
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_abs_line3_move)(uint8_t card, int32_t x, int32_t y,
                                                        int32_t z, uint16_t mode);
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_abs_arc2_move)(uint8_t card, uint16_t direction,
                                                       int32_t cx, int32_t cy, int32_t ex,
                                                       int32_t ey, uint16_t mode);
/* ---- Control: synchronous action ------------------------------------------
 * A condition on the axis acts on the axis and on partner axes inside the
 * card. enable 1 on, 0 off; partners: axis bits of other axes (0 none);
 * condition: sync word 1 (bits 0-3 the comparators, 16 / 32 drive start /
 * end, 64 / 128 IN3); action and partner_action: the action words (0x4000
 * watches the conditions, bits 0-7 the actions); source 0 (command counter)
 * or 32 (encoder) and the two compare values, pulses, with a comparator
 * condition. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_synch)(uint8_t card, uint16_t axis, uint16_t enable,
                                             uint16_t partners, uint16_t condition,
                                             uint16_t action, uint16_t partner_action,
                                             uint16_t source, uint32_t compare_plus,
                                             uint32_t compare_minus);
/* Loads a T-curve or S-curve move of |pulses| without starting it: the
 * synchronous action starts it in the direction its action names. Speeds
 * PPS, rates PPS/s, jerks PPS/s^2. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(synch_t_move_cfg)(uint8_t card, uint16_t axis, uint32_t sv,
                                                    uint32_t dv, uint32_t acc, uint32_t dec,
                                                    int32_t pulses);
RM7X0_EXPORT ApiStatus RM7X0_NAME(synch_s_move_cfg)(uint8_t card, uint16_t axis, uint32_t sv,
                                                    uint32_t dv, uint32_t jerk,
                                                    uint32_t decel_jerk, int32_t pulses);
/* ---- Control: line and arc interpolation ----------------------------------
 * master, slave (slave1, slave2): one axis bit each, all different. Speeds
 * SV and DV in PPS of the line's longest axis (of the arc's steps), rates as
 * for the single-axis moves; d1..d3: signed distances of master, slave1,
 * slave2; AO: pulses at the start speed at the end. wait 1: the call returns
 * when the move has ended; 0: at once. With option 6 (and not 1 or 4) a line
 * lowers DV so that no axis passes its speed maximum. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_line2_move)(uint8_t card, uint16_t master, uint16_t slave,
                                                uint32_t sv, uint32_t dv, uint32_t acc,
                                                uint32_t dec, int32_t d1, int32_t d2, int16_t ao,
                                                uint16_t wait);
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_line3_move)(uint8_t card, uint16_t master, uint16_t slave1,
                                                uint16_t slave2, uint32_t sv, uint32_t dv,
                                                uint32_t acc, uint32_t dec, int32_t d1, int32_t d2,
                                                int32_t d3, int16_t ao, uint16_t wait);
/* DEC_RATE 0: the deceleration jerk equals JERK. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_line2_move)(uint8_t card, uint16_t master, uint16_t slave,
                                                uint32_t sv, uint32_t dv, uint32_t jerk,
                                                uint32_t dec_rate, int32_t d1, int32_t d2,
                                                int16_t ao, uint16_t wait);
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_line3_move)(uint8_t card, uint16_t master, uint16_t slave1,
                                                uint16_t slave2, uint32_t sv, uint32_t dv,
                                                uint32_t jerk, uint32_t dec_rate, int32_t d1,
                                                int32_t d2, int32_t d3, int16_t ao,
                                                uint16_t wait);
/* A circular arc: direction 0x32 clockwise, 0x33 counter-clockwise; centre
 * (cx, cy) and end point (ex, ey) relative to the start (master, slave); an
 * end point of (0, 0) is a full circle. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_arc2_move)(uint8_t card, uint16_t master, uint16_t slave,
                                               uint32_t sv, uint32_t dv, uint32_t acc,
                                               uint16_t direction, int32_t cx, int32_t cy,
                                               int32_t ex, int32_t ey, int16_t ao, uint16_t wait);

/* ---- Control: absolute coordinates ------------------------------------------
 * An axis's absolute position (pulses) is its source counter less an origin.
 * The abs_ moves take absolute targets (the arc: absolute centre and end
 * point) in place of distances, otherwise as their relative forms. */
/* source 0: the command counter, 1: the encoder counter; axis stopped (-325). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_abs_feedback_src)(uint8_t card, uint16_t axis,
                                                        uint8_t source);
/* Makes the axis's present place absolute position `position`; axis stopped. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_abs_position)(uint8_t card, uint16_t axis,
                                                    int32_t position);
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_abs_position)(uint8_t card, uint16_t axis,
                                                    int32_t *position);
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_abs_move)(uint8_t card, uint16_t axis, uint32_t sv,
                                              uint32_t dv, uint32_t acc, uint32_t dec,
                                              int32_t target, int16_t ao);
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_abs_moveall)(uint8_t card, uint16_t axes, const uint32_t *sv,
                                                 const uint32_t *dv, const uint32_t *acc,
                                                 const uint32_t *dec, const int32_t *targets,
                                                 const int16_t *ao);
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_abs_move)(uint8_t card, uint16_t axis, uint32_t sv,
                                              uint32_t dv, uint32_t jerk, uint32_t dec_rate,
                                              int32_t target, int16_t ao);
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_abs_moveall)(uint8_t card, uint16_t axes, const uint32_t *sv,
                                                 uint32_t *dv, const uint32_t *jerk,
                                                 const uint32_t *dec_rate, const int32_t *targets,
                                                 const int16_t *ao);
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_abs_line2_move)(uint8_t card, uint16_t master, uint16_t slave,
                                                    uint32_t sv, uint32_t dv, uint32_t acc,
                                                    uint32_t dec, int32_t p1, int32_t p2,
                                                    int16_t ao, uint16_t wait);
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_abs_line3_move)(uint8_t card, uint16_t master,
                                                    uint16_t slave1, uint16_t slave2, uint32_t sv,
                                                    uint32_t dv, uint32_t acc, uint32_t dec,
                                                    int32_t p1, int32_t p2, int32_t p3,
                                                    int16_t ao, uint16_t wait);
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_abs_line2_move)(uint8_t card, uint16_t master, uint16_t slave,
                                                    uint32_t sv, uint32_t dv, uint32_t jerk,
                                                    uint32_t dec_rate, int32_t p1, int32_t p2,
                                                    int16_t ao, uint16_t wait);
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_abs_line3_move)(uint8_t card, uint16_t master,
                                                    uint16_t slave1, uint16_t slave2, uint32_t sv,
                                                    uint32_t dv, uint32_t jerk, uint32_t dec_rate,
                                                    int32_t p1, int32_t p2, int32_t p3,
                                                    int16_t ao, uint16_t wait);
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_abs_arc2_move)(uint8_t card, uint16_t master, uint16_t slave,
                                                   uint32_t sv, uint32_t dv, uint32_t acc,
                                                   uint16_t direction, int32_t cx, int32_t cy,
                                                   int32_t ex, int32_t ey, int16_t ao,
                                                   uint16_t wait);
/* ---- Control: homing, stops, held starts and changes of a running move -- */

/* Starts the home search configured by set_home_cfg or set_home_cfg_ex. SV,
 * DV (the search moves) and the search speed (the home input is sought at
 * it) in PPS, ACC and DEC in PPS/s. wait 1: returns when the search has
 * ended; 0: returns at once. Either way the home becomes the axis's absolute
 * position 0 (without waiting: at the first motion_done that finds the axis
 * stopped). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(home_start)(uint8_t card, uint16_t axis, uint32_t sv,
                                              uint32_t acc, uint32_t dec, uint32_t dv,
                                              uint32_t search_speed, uint16_t wait);
/* mode 0x26 decelerates, 0x27 stops at once; the sudden stop of one axis
 * returns when the axis stands (unless option 7). axes: a mask. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(stop_move)(uint8_t card, uint16_t axis, uint16_t mode);
RM7X0_EXPORT ApiStatus RM7X0_NAME(stop_move_all)(uint8_t card, uint16_t axes, uint16_t mode);
/* Drive starts to the axes of the mask wait (hold) until drv_start starts
 * them all on the same chip tick. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(drv_hold)(uint8_t card, uint16_t axes);
RM7X0_EXPORT ApiStatus RM7X0_NAME(drv_start)(uint8_t card, uint16_t axes);
/* Ring counter: enable 16 on, 0 off; the counters run 0 .. value - 1 (value >= 2). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_vring)(uint8_t card, uint16_t axis, uint16_t enable,
                                             uint32_t value);
/* Hand wheel: mode 0 off, 8 (ratio pulses per detent), 16 or 24 (per edge);
 * DV (PPS) the output speed, at least 2 x ratio x max_frequency (detents
 * per second) in modes 16 and 24. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_mpg)(uint8_t card, uint16_t axis, uint16_t mode,
                                           uint32_t ratio, uint32_t dv, int32_t max_frequency);
/* New pulse count of the axis's running move, counted from its start. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(change_p)(uint8_t card, uint16_t axis, uint32_t pulses);

/* ---- Setup: options, interrupt factors, events and actions ---------------- */

/* Per-card options (value 0 or 1), kept for the life of the library and
 * settable before the card is opened (types 1 and 4 need it open): 2 clamp
 * speeds and rates to the axis's limits; 3 accelerations and jerks given as
 * times in ms; 5 S-curve moves with the planned deceleration point; 1 and 4
 * (one flag) line moves at the drive speed as given; 6 line speeds from the
 * axes' distances; 7 the sudden stop does not wait; 8 counters may be written
 * while the axis moves; 9 passed to the home search. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_customization)(uint8_t card, uint16_t type, uint16_t value);
/* Chip events that interrupt on an axis: factor bits 8-15 (0x8000: drive
 * end); 0 switches them off. The low byte must be 0. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_int_factor)(uint8_t card, uint16_t axis, uint16_t factor);
/* mode 1: the card's four per-axis events (X, Y, Z, U), auto-reset, are
 * registered and written to events; the driver signals an axis's event at
 * each of its interrupts. Wait on them (WaitForSingleObject); never close
 * them: mode 0 and closing the card release them. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(int_event_config)(uint8_t card, uint16_t mode, void *events[4]);
/* An action the driver runs itself once each axis of source_axes (a mask)
 * raised the factor: kind 1 releases the held drives of target; kind 2
 * starts an S-curve move of target from record = {SV (PPS), DV (PPS), JERK,
 * DEC_RATE (PPS/s^2), distance (pulses, signed)}. Four actions at most; a
 * fifth replaces the first. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_int_action)(uint8_t card, uint16_t source_axes,
                                                  uint16_t factor, uint16_t target, uint16_t kind,
                                                  const int32_t *record);

/* ---- Queries ------------------------------------------------------------ */

/* The card ID of the index-th card found, counting from ID 0 upward. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_cardinfo)(int32_t index, uint8_t *card_id);

/* ---- Queries: counters, motion state, inputs, board ----------------------
 * axis: one axis bit. Counters and positions in pulses. */

/* Command (logical) and encoder (real) counters; position = encoder counter. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_cmdcounter)(uint8_t card, uint16_t axis, int32_t *counter);
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_enccounter)(uint8_t card, uint16_t axis, int32_t *counter);
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_position)(uint8_t card, uint16_t axis, int32_t *position);
/* Counter writers; the axis's absolute position stays where it was. Writing
 * the counter the absolute position follows needs the axis stopped (-325;
 * set_cmdcounter and set_enccounter not with option 8). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_cmdcounter)(uint8_t card, uint16_t axis, int32_t value);
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_enccounter)(uint8_t card, uint16_t axis, int32_t value);
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_position)(uint8_t card, uint16_t axis, int32_t value);
/* Command counter latched by IN3. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_latch)(uint8_t card, uint16_t axis, int32_t *latch);
/* done: 1 when stopped; state: why the last drive ended (DRIVE_FINISH_*). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(motion_done)(uint8_t card, uint16_t axis, uint8_t *done,
                                               int16_t *state);
/* Present speed (PPS) and acceleration (PPS/s). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_speed)(uint8_t card, uint16_t axis, int32_t *speed);
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_acc)(uint8_t card, uint16_t axis, int32_t *acceleration);
/* Error bits (0/1 software limit +/-, 2/3 limit +/-, 4 alarm, 5 emergency stop). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_error_status)(uint8_t card, uint16_t axis, int16_t *status);
/* The last interrupt factors of the axis. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_int_status)(uint8_t card, uint16_t axis, int16_t *status);
/* Input status (bit 0 driving, 1/2 limit +/-, 3 emergency stop, 4 alarm,
 * 5 home, 6 near home, 8 in position, 9 index) and raw inputs. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_mdi_status)(uint8_t card, uint16_t axis, int16_t *status);
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_di_status)(uint8_t card, uint16_t axis, int16_t *status);
/* IN3 input, and the two external-drive inputs. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_in3)(uint8_t card, uint16_t axis, uint8_t *in3);
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_exp)(uint8_t card, uint16_t axis, uint8_t *exp_plus,
                                           uint8_t *exp_minus);
/* Servo-on state of the axis. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_out1_status)(uint8_t card, uint16_t axis, uint8_t *status);
/* CPLD version and the board's date code (0x20060428 ...). */
RM7X0_EXPORT ApiStatus RM7X0_NAME(cpld_ver_get)(uint8_t card, int16_t *version, int32_t *date_code);
/* The card's DIP-switch ID. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_dipsw_id)(uint8_t card, uint8_t *id);

/* ---- Torix remote I/O --------------------------------------------------------
 * The card's serial remote-I/O bus: output groups at bus addresses 0..7,
 * input groups at 8..15, 16 points (one 16-bit word) each. */

/* The input modules on the bus: bit n set when a module answers at 8 + n. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(scan_Torix_DI)(uint8_t card, int16_t *modules);
/* Resets the bus: outputs off, periodic scanning off until configured again. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(reset_Torix)(uint8_t card);
/* Periodic scanning: enable 0 or 1, period factor 0..255. Refused (-327)
 * while the compare trigger runs from its table. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(config_Torix)(uint8_t card, uint16_t enable, uint16_t factor);
/* The word of input group 8..15. Mode 1 reads the bus; mode 0 the last
 * inputs seen by periodic scanning, refused (-324) while it is not
 * configured. A refusal leaves *word as it was. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_Torix_DI)(uint8_t card, uint16_t group, int16_t *word,
                                                uint16_t mode);
/* Sets the word of output group 0..7. */
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_Torix_DO)(uint8_t card, uint16_t group, uint16_t word);


#ifdef __cplusplus
}
#endif
