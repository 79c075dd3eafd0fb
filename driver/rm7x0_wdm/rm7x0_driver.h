/* The card driver's private records and routines (the card's registers are in
 * card_registers.h).
 *
 * One device object per card; its extension is a CardExtension. Locks:
 *  - request mutex: held by the dispatcher for a whole device-control request
 *    (and by close and stop_device while they change card state);
 *  - interrupt lock: every register sequence runs under it
 *    (KeSynchronizeExecution), the interrupt service routine too;
 *  - axis lock: guards an axis's wait (AxisWait: its state, armed factor,
 *    pending request and event), which the DPC and cancellation also touch;
 *  - conti lock: guards the continuous-interpolation run and its segment
 *    table (see Interpolation). It is taken before the interrupt lock and
 *    never while an axis lock or the interrupt lock is held;
 *  - home lock: guards the run of each axis's home search (HomeSearch) and
 *    the home timer's active flag; a step of a search and the stop that ends
 *    it run one after the other. Taken before the interrupt lock (a step
 *    writes the chip) and never with the conti lock or an axis lock held;
 *  - interlocked: reference count, flags and compare index/count read by the
 *    interrupt service routine or the DPC.
 * Order: request mutex, then conti lock, then interrupt lock; an axis lock is
 * taken alone (never with another spin lock held, nor one taken under it).
 * The DPCs run on several processors: dpc_for_isr and home_timer_dpc of one
 * card at the same time, and dpc_for_isr again while it still runs (after
 * it has unmasked the card). They share the card only through the locks
 * above and interlocked flags, as the handlers do.
 * "PnP" below means the Plug and Play thread (add, start, stop, remove);
 * "power dispatch" the power manager's requests, one at a time. */
#ifndef RM7X0_DRIVER_H
#define RM7X0_DRIVER_H

#include <wdm.h>
#include <ntifs.h> /* KeStackAttachProcess: the shared buffer's view is unmapped in its process */

#include "card_registers.h"
#include "rm7x0_ioctl.h"

#ifdef RM7X0_MODEL_B
#define RM7X0_DEBUG_PREFIX "RM730: "
#define RM7X0_INTERFACE_GUID RM730_INTERFACE_GUID
#else
#define RM7X0_DEBUG_PREFIX "RM720: "
#define RM7X0_INTERFACE_GUID RM720_INTERFACE_GUID
#endif

/* ---- Driver constants --------------------------------------------------- */

#define AXIS_COUNT 4
#define ALL_AXES 0xFu
#define BAR_SLOT_COUNT 7          /* BARs 0-5 and the expansion ROM */
#define ROM_BAR_INDEX 6
#define NO_BAR_INDEX 255
#define INT_ACTION_SLOTS 4
#define PCI_CONFIG_BYTES 256
#define BAR0_FALLBACK_LENGTH 256
#define SHARED_BUFFER_PAGES_MAX 4
#define COMPARE_AXIS_COUNT 2      /* X and Y have a compare output */
#define COMPARE_TABLE_ENTRIES (SHARED_BUFFER_PAGES_MAX * PAGE_SIZE / sizeof(ULONG))
#define SHARED_BUFFER_HIGHEST_ADDRESS 0x8000000LL
#define HOME_TIMER_DUE_TIME (-1000LL)  /* 0.1 ms, relative */
#define ERROR_LOG_ENTRY_SIZE 48
#define RM7X0_IO_INTERRUPT_FAILED ((NTSTATUS)0xC0070100L)

/* Sources the interrupt service routine hands to the DPC. */
#define SOURCE_LOCAL1 0x001u
#define SOURCE_LOCAL2 0x002u
#define SOURCE_SOFTWARE 0x200u

/* Interrupt source set, as int_sources_enable/disable take it and as the
 * extension keeps the sources switched on. */
#define SOURCE_FLAG_PCI 0x01000000u     /* word 0 */
#define SOURCE_FLAG_CHIP 0x02000000u    /* word 0 */
#define SOURCE_FLAG_TORIX 0x00002000u   /* word 1 */

/* Register shadows of an axis (DriverAxisState.shadow). */
enum AxisShadow {
  SHADOW_MODE1,
  SHADOW_MODE2,
  SHADOW_MODE3,
  SHADOW_EXT_WORD1,
  SHADOW_EXT_WORD2,
  SHADOW_SYNC_WORD1,
  SHADOW_SYNC_WORD2,
  SHADOW_COUNT
};

/* Output state bytes of an axis (DriverAxisState.output). */
enum AxisOutput { OUTPUT_SERVO_STATE, OUTPUT_SERVO_VALUE, OUTPUT_ALARM_RESET, OUTPUT_GDO, OUTPUT_COUNT };

/* Functions that may hold an axis's comparators (AxisOwners.feature_owner). */
enum FeatureOwner {
  OWNER_NONE,
  OWNER_SOFT_LIMIT,
  OWNER_RING_COUNTER,
  OWNER_COMPARE,
  OWNER_SYNC_ACTION
};

/* Functions that may hold an axis's sync words (AxisOwners.sync_owner). */
enum SyncOwner { SYNC_OWNER_NONE, SYNC_OWNER_COMPARE, SYNC_OWNER_SYNC_ACTION };

/* The compare trigger of X or Y (CompareTrigger.state). */
enum CompareTriggerState {
  COMPARE_IDLE,      /* not armed: neither the comparators nor the sync words are the
                        trigger's. Entered at creation, by a disarm and by a card reset; left
                        by an arming */
  COMPARE_INTERVAL,  /* interval mode: a ring counter of the pitch fires the output once per
                        pitch. Entered by an arming in interval mode; left by a disarm (idle),
                        an arming in table mode or a card reset */
  COMPARE_TABLE      /* table mode: the card's table (CompareTableState) runs on this axis,
                        compare_axis. Entered by an arming in table mode; left by a disarm
                        (idle, the table goes too), an arming in interval mode or a card reset */
};

/* The card's one compare table (CompareTrigger.compare_mode). */
enum CompareTableState {
  COMPARE_TABLE_NONE,       /* no table. Entered at creation, by the disarm of the table trigger
                               (the table goes with it) and by a card reset; left by an upload */
  COMPARE_TABLE_TAKEN,      /* an uploaded table that no trigger runs. Entered by an upload, or
                               from a run by an arming of its axis in interval mode; left by an
                               arming in table mode or a card reset */
  COMPARE_TABLE_RELOADING,  /* the compare mode: the interrupt service routine loads the next
                               entry into the comparator that matched; the chip interrupt is the
                               table's, waits, factor changes and the Torix interrupt are refused.
                               Entered by an arming in table mode; left when the service routine
                               has loaded the last entry (RUN_OUT), by a disarm (NONE), an arming
                               in interval mode (TAKEN) or a card reset */
  COMPARE_TABLE_RUN_OUT     /* every entry was loaded: the trigger stays armed on its last two
                               entries, nothing is reloaded. Entered by the service routine; left
                               as RELOADING is, and by an arming in table mode (RELOADING) */
};

/* The synchronous action of an axis (SyncActions.state). */
enum SyncActionState {
  SYNC_ACTION_OFF,      /* no action. Entered at creation, by REQ_SET_SYNCH enable 0 and by a
                           card reset; left by an enable */
  SYNC_ACTION_LOADED,   /* enabled with an action that can never act (not active, no speed
                           change, nothing for the partners): its words are written and its
                           comparators loaded, whose factors interrupt actions count, but it
                           holds nothing. Entered by such an enable; left by the next enable, an
                           enable 0 (OFF, the words stay, held by nobody) or a card reset */
  SYNC_ACTION_ARMED     /* the action holds the axis's sync words, and its comparators when its
                           condition uses them; it acts when its condition comes. Entered by an
                           enable that acts; left by an enable 0 (OFF: its words and its
                           partners' are cleared), an enable that cannot act (LOADED) or a card
                           reset */
};

/* End flags of an axis (DriveEndFlags.end_flag). */
/* END_CONTI_BROKEN: the axis's table run ended with segments it never ran. */
enum AxisEndFlag { END_STOPPED_BY_COMMAND, END_DRIVE, END_HOME, END_CONTI_BROKEN, END_FLAG_COUNT };

/* The chip's hold of an axis's drive starts (HeldStarts.state). */
enum HoldState {
  HOLD_NONE,               /* a drive command starts at once. Entered at creation, by a release
                              (REQ_DRV_START, a release action, a stop) and by a card reset */
  HOLD_WRITTEN,            /* the hold command was written: a drive command waits in the chip.
                              Entered by REQ_DRV_HOLD, or from HOLD_WITH_PENDING_DRIVE by a stop
                              that dropped the drive; left by a release or a card reset */
  HOLD_WITH_PENDING_DRIVE  /* a drive command waits for the release (a pending motion). Entered
                              by a drive command in HOLD_WRITTEN; left by a release (the drive
                              runs), a stop (HOLD_WRITTEN) or a card reset */
};

/* The wait of an axis for an interrupt factor (AxisWait.state). */
enum WaitState {
  WAIT_NONE,               /* no factor armed. Entered at creation, when a waiting request is
                              cancelled (cancel routine, its file's cleanup), when the start it
                              waited for was refused, by REQ_END_WAIT of its factor once no
                              request waits for it, by the DPC when a drive end that no request
                              waits for arrives, and by a card reset, stop_device or a
                              power-down */
  WAIT_ARMED,              /* a request waits for a move that has not started yet: a drive end
                              latched now is an earlier move's. Entered by arm_wait_irp; left for
                              WAIT_ARMED_MOVE_STARTED once the move started, or for WAIT_NONE */
  WAIT_ARMED_MOVE_STARTED  /* the armed factor counts when it arrives (a drive end once the axis
                              stands). Entered by arm_wait, or from WAIT_ARMED by the waited start;
                              stays after the factor completed the request, until the next arm,
                              the caller's end of the wait (REQ_END_WAIT) or WAIT_NONE */
};

/* The home search of an axis (DriverAxisState.home.state): one state
 * machine of steps. A step starts a move (a start_* routine of
 * home_search.cpp, run under the home lock as its state is entered) and
 * waits in its HOME_WAIT_* state for the event that ends it; nobody sees a
 * search between the start of a step and its wait. A search runs from its
 * start until it is back at HOME_IDLE; the axis reads busy throughout, also
 * while it stands between two steps. In every running state a stop or a
 * card reset ends it at once (end_home_searches, home_search_reset); a step
 * that finds the search failed ends it with a trace naming axis and state.
 * docs/home-search.md draws the machine. */
enum HomeSearchState {
  HOME_IDLE,              /* no extended configuration, no search; entered at the end of a
                             search, by a stop and a reset; left by the extended configuration
                             or a home start */
  HOME_CONFIGURED,        /* the extended configuration is kept; left by the start, a stop or
                             a reset */
  /* The chip's search (modes 0-3): each step is one run of the chip's home
   * search, and its home end (the DPC) ends the step. */
  HOME_WAIT_FIRST_STEP,   /* the first run seeks the home input; its home end on the home
                             input: HOME_WAIT_LAST_STEP; off it (the run turned at a limit):
                             HOME_WAIT_TURNED_BACK; after an alarm, an emergency or a stop: failed */
  HOME_WAIT_TURNED_BACK,  /* the run seeks the home input the other way; its home end on the
                             home input: HOME_WAIT_LAST_STEP; otherwise failed */
  HOME_WAIT_LAST_STEP,    /* the chip runs the last step (also the single run of a search without
                             extended configuration, or one that starts on its home input); its
                             home end ends the search, found unless an error or a stop ended it */
  /* The timer search (modes 4 and 5): the home timer's ticks end its steps. */
  HOME_WAIT_SEARCH_MOVE,  /* the search move at the search speed; stopped on the limit ahead:
                             HOME_WAIT_OFF_LIMIT; stopped otherwise: failed */
  HOME_WAIT_OFF_LIMIT,    /* leaving the limit (at the low speed after the search move, at the
                             search speed when the search starts on a limit); a tick that sees
                             no limit active: HOME_WAIT_STOPPING; stopped before (on the other
                             limit): HOME_WAIT_APPROACH; stopped by an alarm or emergency: failed */
  HOME_WAIT_STOPPING,     /* decelerating stop off the limit; stopped: HOME_WAIT_APPROACH;
                             stopped by an alarm or emergency: failed */
  HOME_WAIT_APPROACH      /* back at the low speed; stopped on the limit ahead: found (mode 4)
                             or HOME_WAIT_LAST_STEP, the chip's index run (mode 5); stopped
                             otherwise: failed */
};

/* Home speeds kept by the home start (DriverAxisState.home_speed). */
enum HomeSpeed { HOME_START_SPEED, HOME_ACC, HOME_DEC, HOME_SEARCH_SPEED, HOME_LOW_SPEED, HOME_SPEED_COUNT };

/* The interpolation state (Interpolation.state, the card's interp_state).
 * The chip runs one interpolated path at a time: a line or arc, or a
 * continuous run whose segments the application or the segment table feeds. */
enum InterpState {
  INTERP_IDLE = 0,           /* no interpolation: after a reset and the end of a line or run */
  INTERP_SINGLE = 1,         /* entered by the start of a line or arc; left once a request or
                                the DPC finds its axes standing */
  INTERP_CONTI2 = 16,        /* entered by a begin or configuration on two axes: the run is open,
                                the application feeds it; left by its first segment
                                (INTERP_CONTI_FED), a stored segment (INTERP_TABLE_LOADED) or
                                its end */
  INTERP_CONTI3 = 32,        /* the same on three axes */
  INTERP_CONTI_FED = 33,     /* entered when the application's first segment starts; it feeds
                                the next ones; left by a stored segment (INTERP_TABLE_RUNNING)
                                or its end */
  INTERP_TABLE_LOADED = 34,  /* entered by the first segment stored before the run started; left
                                when its first segment starts (INTERP_TABLE_RUNNING) or by its
                                end */
  INTERP_TABLE_RUNNING = 35, /* a run started with a stored table, which the DPC hands over; left
                                once its master stands (idle) or by an end after its last
                                segment was handed over (INTERP_TABLE_CLOSING) */
  INTERP_CLOSING = 36,       /* entered by the end of a run without a started table while its
                                path still runs: nothing more is fed; left once its axes stand */
  INTERP_TABLE_CLOSING = 37  /* the same for a started table run, whose drive-end factor goes
                                when its axes stand */
};

/* ---- Records ----------------------------------------------------------- */

/* One base-address register as start_device found it. Written by PnP only. */
typedef struct BarSlot {
  PUCHAR kernel_address;   /* mapping; NULL when unmapped (or an I/O range) */
  ULONGLONG physical_address;
  ULONG length;
  UCHAR is_io_port;        /* 1: an I/O port range, never mapped */
  PMDL mdl;                /* descriptor of the mapping */
} BarSlot;

/* The contiguous buffer shared with the process that opened the card.
 * mdl, length and kernel_address: add_device/remove_device (PnP);
 * user_address, user_process: map/unmap requests and cleanup (request mutex). */
typedef struct SharedBuffer {
  PMDL mdl;                /* NULL: the card has no shared buffer */
  ULONG length;
  PVOID kernel_address;
  PVOID user_address;      /* NULL when not mapped into a process */
  PEPROCESS user_process;  /* the process the view lives in, referenced while mapped */
} SharedBuffer;

/* A fixed drive in chip words. T-curve: rate/decel_rate = acceleration and
 * deceleration, tail = offset pulses (low 16 bits). S-curve: jerk and
 * deceleration jerk, tail = deceleration point (mode bit 1) or offset. */
typedef struct MoveProfile {
  USHORT mode;
  USHORT start_speed;
  USHORT drive_speed;
  USHORT rate;
  USHORT decel_rate;
  ULONG pulses;
  ULONG tail;
} MoveProfile;

/* The state of an interrupt-action slot (IntActionSlot.state). */
enum IntActionState {
  INT_ACTION_EMPTY,     /* no action, no factor. Entered at creation, when the slot fires, by a
                           stop of one of its axes or targets and by a card reset */
  INT_ACTION_COUNTING,  /* counts its axes' interrupts down to its action. Entered by
                           REQ_SET_INT_ACTION with an action to run and axes to count; left
                           when it fires, or as EMPTY, or when the request fills it again */
  INT_ACTION_INERT      /* filled without an action to run (none asked, its move failed its
                           checks, or no axis to count): its factors stay on and join those of
                           the other slots of its axes. Left as COUNTING */
};

/* One interrupt action. Written by the interrupt-action request and counted
 * down by the DPC, both under the interrupt lock. */
typedef struct IntActionSlot {
  UCHAR state;             /* IntActionState */
  USHORT factor;           /* high byte: factor bits that count */
  UCHAR axis_mask;         /* axes whose interrupts count */
  UCHAR target;            /* axes the action works on */
  UCHAR action;            /* 1 release held starts, 2 start the slot's S-curve move */
  UCHAR countdown;         /* interrupts still to count while COUNTING */
  MoveProfile s_move;      /* action 2: the S-curve move to start */
  UCHAR s_move_direction;
} IntActionSlot;

/* The interrupt actions of a card (interrupt_actions.cpp). The slots are
 * guarded by the interrupt lock (the request that fills one, the DPC that
 * counts it, a stop and the card reset); the next-slot index belongs to the
 * handlers (request mutex). */
typedef struct IntActions {
  IntActionSlot int_action[INT_ACTION_SLOTS];
  UCHAR int_action_next;           /* the slot the next REQ_SET_INT_ACTION fills */
} IntActions;

/* The held drive starts of a card (held_starts.cpp). Each change goes with
 * the chip command it follows, under the interrupt lock: hold and release
 * requests, move starts, stops, the DPC's interrupt actions, card reset. */
typedef struct HeldStarts {
  UCHAR state[AXIS_COUNT];         /* HoldState of each axis */
  USHORT held_axes;                /* the held-axis mask: the axes of the last REQ_DRV_HOLD and
                                      the targets of a fired S-curve action, until released;
                                      a wait on one is refused */
} HeldStarts;

/* The wait of one axis for an interrupt factor, and the event its
 * interrupts signal (waiting_requests.cpp). Guarded by the axis lock, which
 * the handlers, the DPC and the cancel routine take alone. */
typedef struct AxisWait {
  KSPIN_LOCK lock;                 /* the axis lock */
  LONG state;                      /* WaitState */
  ULONG armed_factor;              /* 128 drive end or 256 home end; 0 in WAIT_NONE */
  PIRP pending_request;            /* the request waiting for the armed factor, or NULL */
  PFILE_OBJECT pending_file_object;/* the file it came through */
  PKEVENT event;                   /* caller's event, signalled per interrupt */
} AxisWait;

/* Why an axis's last drive ended, as the driver saw it (drive_end_flags.cpp,
 * the only writer). Interlocked: move starts and stops (handlers), the DPC
 * (drive and home ends, a broken table run) and the card reset. */
typedef struct DriveEndFlags {
  LONG end_flag[END_FLAG_COUNT];   /* cleared by move starts; set by the end they name */
  volatile LONG path_axes;         /* the axes of the path the axis last drove on, 0 after a
                                      move of its own; move starts */
} DriveEndFlags;

/* One continuous-interpolation segment (32 bytes). Written by the segment
 * load request, read by the DPC; conti lock. */
typedef struct ContiSegment {
  UCHAR type;
  UCHAR reserved1[3];
  LONG finish[3];
  UCHAR arc_command;
  UCHAR reserved2[3];
  LONG center[2];
  LONG length;
} ContiSegment;

/* The values of an extended home configuration (REQ_SET_HOME_CFG_EX). */
typedef struct HomeConfigEx {
  USHORT config[2];                /* slots 3 and 2 */
  USHORT mode;                     /* slot 4 */
  UCHAR option;                    /* slot 5 */
  UCHAR direction;                 /* slot 6 */
} HomeConfigEx;

/* The home inputs and steps of REQ_SET_HOME_CFG. */
typedef struct HomeInputs {
  USHORT levels;
  USHORT step_flags;
  ULONG offset;
} HomeInputs;

/* The configurations that arrived while the axis's search ran: the search
 * keeps the one it started with, and these take effect when it ends, in the
 * order they came; a later one of the same kind replaces the one held. */
typedef struct HeldHomeConfig {
  BOOLEAN has_ex;
  HomeConfigEx ex;
  BOOLEAN has_inputs;
  HomeInputs inputs;
  BOOLEAN inputs_last;             /* the inputs came after the extended configuration */
} HeldHomeConfig;

/* The home search of an axis: its extended configuration and the run of its
 * search (home_search.cpp). The configuration is written by the request
 * handlers (request mutex, and the home lock since a search's end may apply
 * a held one) and read by the DPCs only while a search runs, which keeps it
 * unchanged. The run (state, move_direction) changes under the home lock,
 * by the handlers and both DPCs; state is also read alone, interlocked.
 * home_search_reset empties the record. */
typedef struct HomeSearch {
  USHORT config[2];                /* home configuration: the words of slots 3 and 2 of
                                      REQ_SET_HOME_CFG_EX */
  USHORT mode;                     /* home mode 0-5 */
  UCHAR option;                    /* home option (slot 5) */
  UCHAR direction;                 /* home direction: 1 plus, 0 minus, the start direction of a
                                      timer search (slot 6), turned away from a limit by the
                                      start */
  USHORT speed[HOME_SPEED_COUNT];  /* home speeds of the last start */
  volatile LONG state;             /* HomeSearchState: in place of the home search flag, the home
                                      phase byte and the home step */
  UCHAR move_direction;            /* timer search: direction of the move of its step, turned at
                                      each turn of the search */
  HeldHomeConfig held;             /* pending configuration: held under the home lock by the
                                      handlers while the search runs, applied (and emptied) under
                                      it when the search ends; emptied by a reset and a stop of
                                      the card */
} HomeSearch;

/* What the home searches of the axes share (home_search.cpp). */
typedef struct HomeSearchCard {
  KSPIN_LOCK lock;                 /* the home lock: a step of a search and the stop that ends
                                      it run one after the other, never interleaved */
  KDPC timer_dpc;                  /* home timer DPC: runs home_timer_dpc */
  KTIMER timer;                    /* the home timer; set by the start of a timer search and by
                                      its own DPC */
  LARGE_INTEGER timer_due;         /* home timer due time: -1000 */
  volatile LONG active;            /* home search active: 1 while the home timer steps a search;
                                      set by a timer search's start, cleared by the tick that finds
                                      none left, a stop of the card and a reset; changed under the
                                      home lock, read alone interlocked */
  USHORT end_counter_clear;        /* home-end counter clear (customization type 1); handlers */
} HomeSearchCard;

/* Who holds an axis's comparators (COMP+ and COMP-) and its two sync words
 * (axis_owners.cpp): a function that uses them takes them when it is set up
 * and gives them back when it is switched off; any other is refused with
 * the holder's conflict word. Written by the request handlers (request
 * mutex) of the software limit, the ring counter, the compare trigger and
 * the synchronous action, and by the card reset, interlocked; read alone
 * interlocked (also by the DPC, whose end of a table run sets factors). */
typedef struct AxisOwners {
  volatile LONG feature_owner;     /* FeatureOwner of the comparators */
  volatile LONG sync_owner;        /* SyncOwner of the sync words */
} AxisOwners;

/* Per-axis state, indexed by axis (0 X .. 3 U). Zero at creation; card_reset
 * restores the defaults. Unless said otherwise a field is written by request
 * handlers under the request mutex. */
typedef struct DriverAxisState {
  ULONG range;                     /* chip range value (16000 after reset) */
  USHORT shadow[SHADOW_COUNT];     /* last words written; handlers and DPC, under the interrupt lock */
  USHORT app_factor;               /* the factor word the application set; handlers, DPC;
                                      under the interrupt lock */
  UCHAR output[OUTPUT_COUNT];      /* servo state, servo value, alarm reset, GDO */
  AxisOwners owners;               /* see AxisOwners: feature_owner, sync_owner */
  DriveEndFlags ends;              /* see DriveEndFlags */
  AxisWait wait;                   /* see AxisWait: armed factor, pending request, event and
                                      the axis lock */
  volatile LONG interrupt_factor;  /* last factor word read; DPC and interrupt service routine,
                                      interlocked */
  HomeSearch home;                 /* the axis's home search; see HomeSearch */
} DriverAxisState;

/* Interrupt sources: word 0 PCI and chip, word 1 Torix (SOURCE_FLAG_*). */
typedef struct IntSourceSet {
  ULONG word[2];
} IntSourceSet;

/* The partner axes whose range a single line or arc stretched for a
 * constant vector speed, with the ranges they had before it. Empty: no line
 * holds a stretched range. Entered by the start of a line (stretch_partner_
 * range), left by its end (give_back_stretched_ranges: the request or DPC
 * that takes the interpolation state from single to idle); a card reset and
 * a power-up forget it (forget_stretched_ranges), as the chip's reset put
 * every range back to its default. Written by the request handlers (request
 * mutex) and by the one DPC that ends the line (interlocked state change). */
typedef struct StretchedRanges {
  USHORT axes;                     /* axis bits with a stretched range */
  ULONG before[AXIS_COUNT];        /* their ranges before the line */
} StretchedRanges;

/* The line or arc last started. */
typedef struct SingleLine {
  volatile LONG axes;              /* line_arc_axes: its axis bits, from its start until its end;
                                      handlers and DPC, interlocked */
  StretchedRanges stretched;       /* see StretchedRanges; stretched_ranges.cpp */
} SingleLine;

/* The segment table of a continuous run, filled from index 0. Its count,
 * next index, threshold and remaining length go with it. Conti lock:
 * written by the requests that store, start and end a run, by the DPC's
 * feed and by the run's end (see Interpolation). */
typedef struct ContiTable {
  ContiSegment segment[SEGMENT_TABLE_SIZE];
  USHORT segment_count;            /* segments stored */
  USHORT next_segment;             /* index of the next segment to hand to the chip */
  ULONG end_threshold;             /* remaining path at which the deceleration goes on */
  ULONG remaining_length;          /* path of the segments not handed over; 0: no tracking */
} ContiTable;

/* The axes of a continuous run, from its begin or configuration until its
 * end (INTERP_CONTI2 .. INTERP_TABLE_CLOSING); conti lock. */
typedef struct ContiRun {
  USHORT conti_axis[3];            /* master, second, third axis bits (third 0 on two axes) */
  ULONG conti_saved_range[2];      /* ranges of the second and third axes at the start */
  USHORT conti_mask;               /* OR of the three */
} ContiRun;

/* The card's interpolation: one line or arc, or one continuous run with its
 * table, and the state that says which (InterpState). Locks: the conti
 * lock guards the run and its table, and every change of a continuous
 * state. The request handlers hold it for their whole step, the DPC while
 * it feeds a segment or ends a run, so neither sees the other half done.
 * The state is changed interlocked (also read alone that way): a line's
 * start and end change it without the conti lock, its end by an interlocked
 * compare-exchange from INTERP_SINGLE. interpolation_reset (card reset,
 * power-up) empties the record. docs/interpolation.md draws the states. */
typedef struct Interpolation {
  volatile LONG state;             /* interp_state: InterpState; interlocked */
  USHORT line_arc_option;          /* constant vector speed option (customization type 4); handlers */
  USHORT shadow;                   /* interp_shadow: REG_INTERP_MODE; handlers and DPC, under the
                                      interrupt lock */
  KSPIN_LOCK conti_lock;           /* the conti lock; add_device */
  SingleLine line;
  ContiRun run;
  ContiTable table;
} Interpolation;

/* The compare trigger of the card (compare_trigger.cpp): an interval
 * trigger on X and on Y each, and one table trigger, whose table the
 * interrupt service routine reloads into the comparators of its axis.
 * Locks: the request handlers (request mutex) arm, disarm and upload; what
 * the service routine reads or advances (compare_mode, compare_axis,
 * compare_index, compare_count, compare_table) changes under the interrupt
 * lock, compare_mode interlocked so that it is also read alone. The factors
 * kept for the DPC are interlocked. compare_trigger_reset empties it. */
typedef struct CompareTrigger {
  LONG state[COMPARE_AXIS_COUNT];  /* CompareTriggerState of X and Y; handlers */
  LONG compare_pitch[COMPARE_AXIS_COUNT]; /* pitch of the armed interval trigger (signed, as
                                      requested); handlers */
  volatile LONG compare_mode;      /* CompareTableState of the card's table */
  USHORT compare_axis;             /* axis bit (1 or 2) whose trigger runs the table (in
                                      COMPARE_TABLE_RELOADING and _RUN_OUT), else 0 */
  volatile LONG compare_index;     /* next entry the service routine loads */
  volatile LONG compare_count;     /* entries of the taken table; 0 without one */
  ULONG compare_table[COMPARE_TABLE_ENTRIES]; /* the taken table, the driver's own copy: the
                                      shared buffer may be rewritten while it runs */
  volatile LONG factor_for_dpc[AXIS_COUNT]; /* factors the service routine read while the table
                                      reloads (and the table's arming read as stale), which the
                                      DPC serves; interlocked */
} CompareTrigger;

/* The synchronous actions of the axes (sync_action.cpp) and the
 * speed the card keeps for an armed speed-change action: the chip takes
 * that speed from its data register, one for the card, when the action
 * fires. Written by the request handlers (request mutex): the states alone,
 * the kept speed under the interrupt lock, which every data-register
 * sequence takes. sync_action_reset empties it. */
typedef struct SyncActions {
  UCHAR state[AXIS_COUNT];         /* SyncActionState of each axis */
  USHORT kept_data_low;            /* the speed the application wrote to the data register while
                                      a speed-change action was armed */
  BOOLEAN data_low_kept;           /* kept_data_low goes back to the data register after every
                                      other write of it, until no speed-change action is armed */
} SyncActions;

/* The device extension of a card, zero at creation. "handlers" means the
 * request handlers, which run under the request mutex. */
typedef struct CardExtension {
  PDEVICE_OBJECT self;             /* add_device */
  PDEVICE_OBJECT lower;            /* add_device: requests are passed down to it */
  PDEVICE_OBJECT physical;         /* add_device: the bus driver's device object */
  volatile LONG io_references;     /* every dispatch routine, interlocked; starts at 1 */
  KEVENT remove_event;             /* set by io_ref_release when io_references reaches 0 */
  volatile LONG removed;           /* PnP remove, interlocked; 1 once removal began */
  volatile LONG started;           /* PnP, interlocked, changed under the request mutex */
  volatile LONG stopping;          /* PnP, interlocked: 1 from stop_device to the next start;
                                      the DPCs leave the card alone meanwhile */
  LONG device_power_state;         /* power dispatch (serialised by the power manager): 1 D0 .. 4 D3 */
  volatile LONG powered_down;      /* power dispatch, interlocked, changed under the request mutex:
                                      1 from the power-down to D3 until the card is restored at D0;
                                      requests are refused and the ISR leaves the card alone */
  LONG saved_counter[2][AXIS_COUNT]; /* command and encoder counters kept across D3; power dispatch */
  ULONG saved_range[AXIS_COUNT];   /* ranges kept across D3; power dispatch */
  USHORT saved_signals[AXIS_COUNT];/* mode 2 wiring fields kept across D3; power dispatch */
  USHORT saved_factor[AXIS_COUNT]; /* the application's factor words kept across D3; power dispatch */
  BarSlot bar[BAR_SLOT_COUNT];     /* PnP start and stop */
  UNICODE_STRING interface_link;   /* add_device */
  BOOLEAN interface_enabled;       /* PnP: the link is enabled; a disabled one is not disabled again */
  FAST_MUTEX request_mutex;        /* add_device */
  KEVENT requests_may_run;         /* request gate (notification): signalled unless requests wait
                                      for a power-up or a restart; changed under the request mutex */
  PKINTERRUPT interrupt;           /* PnP start and stop; NULL when not connected */
  IntSourceSet int_sources;        /* sources switched on; PnP start, handlers */
  USHORT card_id;                  /* PnP start: DIP switch 0-15 */
  USHORT cpld_version;             /* PnP start */
  HeldStarts held;                 /* see HeldStarts */
  DriverAxisState axis[AXIS_COUNT];/* X, Y, Z, U */
  USHORT output_shadow;            /* REG_OUTPUT; handlers, under the interrupt lock */
  USHORT torix_input_cache[8];     /* Torix ports 8-15; handlers and DPC, under the interrupt lock */
  UCHAR torix_interrupt;           /* 1 from the Torix configuration that switched its interrupt
                                      on to the next that switched it off, reset or card reset;
                                      handlers */
  Interpolation interp;            /* line, arc and continuous run: see Interpolation */
  volatile LONG open_count;        /* create and close, interlocked; 0 or 1 */
  SharedBuffer buffer;             /* see SharedBuffer */
  CompareTrigger compare;          /* see CompareTrigger */
  SyncActions sync;                /* see SyncActions */
  HomeSearchCard home;             /* add_device and home_search.cpp; see HomeSearchCard */
  IntActions actions;              /* see IntActions */
} CardExtension;

static inline CardExtension *card_extension(PDEVICE_OBJECT device) {
  return (CardExtension *)device->DeviceExtension;
}

/* ---- Routines by concern ------------------------------------------------ */

/* driver_entry.cpp: driver entry, device creation, start, stop and removal. */
NTSTATUS add_device(PDRIVER_OBJECT driver, PDEVICE_OBJECT physical);
NTSTATUS start_device(PDEVICE_OBJECT device, PCM_PARTIAL_RESOURCE_LIST raw,
                      PCM_PARTIAL_RESOURCE_LIST translated);
VOID stop_device(PDEVICE_OBJECT device);
/* Ends all activity on a card whose requests are kept out: home timer,
 * interrupt, DPCs, drives and waits (stop_device, power-down). */
VOID quiesce_card(CardExtension *ext);
VOID remove_device(PDEVICE_OBJECT device);
VOID set_interface_state(CardExtension *ext, BOOLEAN enable);
NTSTATUS read_pci_config(PDEVICE_OBJECT device, ULONG offset, PVOID buffer, ULONG length);
UCHAR resource_to_bar_index(ULONGLONG start, const PCI_COMMON_CONFIG *config);
NTSTATUS map_memory_bar(CardExtension *ext, ULONG index);
VOID unmap_all_bars(CardExtension *ext);
VOID write_error_log(NTSTATUS code, PDEVICE_OBJECT device);

/* request_gate.cpp: requests wait while the card powers up or is stopped
 * for a rebalance. */
VOID request_gate_init(CardExtension *ext);
VOID request_gate_close(CardExtension *ext);
VOID request_gate_open(CardExtension *ext);
VOID request_gate_pass(CardExtension *ext);
/* Passes the gate and returns holding the request mutex. */
VOID request_gate_pass_and_lock(CardExtension *ext);

/* pnp.cpp */
DRIVER_DISPATCH dispatch_pnp;
DRIVER_DISPATCH dispatch_system_control;
BOOLEAN io_ref_acquire(CardExtension *ext);
VOID io_ref_release(CardExtension *ext);
NTSTATUS forward_irp_and_wait(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS pass_down_irp(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS complete_request(PIRP irp, NTSTATUS status, ULONG_PTR information);

/* power.cpp */
DRIVER_DISPATCH dispatch_power;

/* dispatch.cpp: create, close, cleanup, read/write and the dispatcher. */
DRIVER_DISPATCH dispatch_create;
DRIVER_DISPATCH dispatch_close;
DRIVER_DISPATCH dispatch_cleanup;
DRIVER_DISPATCH dispatch_read_write;
DRIVER_DISPATCH dispatch_device_control;

/* A device-control request as its handler sees it. A handler answers with a
 * result word; it sets status only to fail the request itself or to leave it
 * pending (STATUS_PENDING, after marking it pending). */
typedef struct RequestContext {
  CardExtension *ext;
  PIRP irp;
  DriverRequest *block;
  NTSTATUS status;
} RequestContext;
typedef USHORT RequestHandler(RequestContext *request);

/* Slot n of a request block: values travel in its low 32 bits. */
static inline USHORT slot_u16(const DriverRequest *block, int n) { return (USHORT)block->slot[n]; }
static inline ULONG slot_u32(const DriverRequest *block, int n) { return (ULONG)block->slot[n]; }
static inline UCHAR slot_u8(const DriverRequest *block, int n) { return (UCHAR)block->slot[n]; }
static inline VOID set_slot(DriverRequest *block, int n, ULONG value) { block->slot[n] = value; }

/* inline_requests.cpp: requests served by the dispatcher itself. */
RequestHandler map_shared_buffer;
RequestHandler unmap_shared_buffer;
RequestHandler get_dipsw_id;
RequestHandler get_ranges;
RequestHandler set_range;
RequestHandler reset_card;
RequestHandler attach_int_events;
RequestHandler detach_int_events;
RequestHandler get_int_status;
RequestHandler get_cpld_version;
RequestHandler set_customization;
RequestHandler test_register;
VOID unmap_user_view(CardExtension *ext);

/* waiting_requests.cpp: the waits of the axes (AxisWait), requests pended
 * until an interrupt factor, and the axes' events. */
VOID cancel_waiting_request(PDEVICE_OBJECT device, PIRP irp);
VOID complete_waiting_request(CardExtension *ext, int axis, NTSTATUS status);
/* add_device: the axis locks. */
VOID waits_init(CardExtension *ext);
/* Card reset, stop_device and power-down: every wait ends, its request
 * cancelled, as the factors it waits for can no longer arrive. */
VOID waits_reset(CardExtension *ext);
/* Disarms factor on the axis unless a request still waits for it; FALSE then. */
BOOLEAN end_axis_wait(CardExtension *ext, int axis, ULONG factor);
/* DPC: the drive end armed on the axis arrived; a wait that no request holds
 * (a stop of several axes, a line without the wait flag) ends with it, as
 * nobody sends an end of wait for it. */
VOID end_requestless_drive_wait(CardExtension *ext, int axis);
VOID cancel_file_waiting_requests(CardExtension *ext, PFILE_OBJECT file);
/* A request waits on the axis of index 0-3. */
BOOLEAN request_waits_on_axis(CardExtension *ext, int axis);
/* The factor armed on the axis (0 when none); *move_started (unless NULL):
 * the move it is armed for has started, so a drive end from now on is its
 * end. */
ULONG armed_wait_factor(CardExtension *ext, int axis, PBOOLEAN move_started);
/* The axis's event := event; answers the one it held. The DPC signals it
 * under the same lock, so an event given back is never signalled. */
PKEVENT exchange_axis_event(CardExtension *ext, int axis, PKEVENT event);
VOID release_axis_events(CardExtension *ext);
/* DPC: the axis's event, if any, is signalled. */
VOID signal_axis_event(CardExtension *ext, int axis);

/* interrupt.cpp: interrupt service and DPC. */
BOOLEAN interrupt_service(PKINTERRUPT interrupt, PVOID context);
VOID dpc_for_isr(PKDPC dpc, PDEVICE_OBJECT device, PIRP irp, PVOID context);
BOOLEAN interrupt_enable(PVOID context);   /* context: the CardExtension */
/* Table arming: an edge latched or a factor raised before it is served as
 * usual, never taken for the first table match. */
VOID clear_stale_chip_interrupt(CardExtension *ext);
BOOLEAN interrupt_disable(PVOID context);

/* registers.cpp: register primitives. Raw accessors are for code that already
 * runs under the interrupt lock (the interrupt service routine, routines run
 * by run_synchronized); everything else takes a *_sync or chip_ routine. */
USHORT card_read16(CardExtension *ext, ULONG offset);
VOID card_write16(CardExtension *ext, ULONG offset, USHORT value);
/* Under the interrupt lock: a 32-bit data word and the command that takes it. */
VOID card_cmd32(CardExtension *ext, USHORT command, ULONG value);
ULONG bridge_read32(CardExtension *ext, ULONG offset);
VOID bridge_write32(CardExtension *ext, ULONG offset, ULONG value);
VOID intcsr_modify(CardExtension *ext, ULONG set, ULONG clear);
USHORT command_word(ULONG axis_mask, UCHAR code);

VOID intcsr_modify_sync(CardExtension *ext, ULONG offset, ULONG set, ULONG clear);
USHORT card_read16_sync(CardExtension *ext, ULONG offset);
VOID card_write16_sync(CardExtension *ext, ULONG offset, USHORT value);
VOID card_register_modify_sync(CardExtension *ext, ULONG offset, USHORT *shadow, USHORT clear,
                               USHORT set);
USHORT chip_command(CardExtension *ext, USHORT command);
/* The chip's main status (REG_COMMAND read): busy and error bits per axis. */
USHORT chip_main_status(CardExtension *ext);
USHORT chip_write_mode1(CardExtension *ext, ULONG axis_mask, USHORT value);
USHORT chip_write_mode2(CardExtension *ext, ULONG axis_mask, USHORT value);
USHORT chip_write_mode3(CardExtension *ext, ULONG axis_mask, USHORT value);
USHORT chip_read_status1(CardExtension *ext, ULONG axis_mask, PUSHORT value);
USHORT chip_read_status2(CardExtension *ext, ULONG axis_mask, PUSHORT value);
USHORT chip_read_status3(CardExtension *ext, ULONG axis_mask, PUSHORT value);
USHORT chip_cmd16(CardExtension *ext, USHORT command, USHORT value);
USHORT chip_cmd32(CardExtension *ext, USHORT command, ULONG value);
USHORT chip_read16(CardExtension *ext, USHORT command, PUSHORT value);
USHORT chip_read32(CardExtension *ext, USHORT command, PULONG value);

USHORT chip_set_range(CardExtension *ext, ULONG axis_mask, ULONG range);
USHORT chip_set_jerk(CardExtension *ext, ULONG axis_mask, USHORT value);
USHORT chip_set_dec_jerk(CardExtension *ext, ULONG axis_mask, USHORT value);
USHORT chip_set_acc(CardExtension *ext, ULONG axis_mask, USHORT value);
USHORT chip_set_dec(CardExtension *ext, ULONG axis_mask, USHORT value);
USHORT chip_set_start_speed(CardExtension *ext, ULONG axis_mask, USHORT value);
USHORT chip_set_drive_speed(CardExtension *ext, ULONG axis_mask, USHORT value);
USHORT chip_set_acc_offset(CardExtension *ext, ULONG axis_mask, USHORT value);
USHORT chip_set_home_speed(CardExtension *ext, ULONG axis_mask, USHORT value);
USHORT chip_set_pulses(CardExtension *ext, ULONG axis_mask, ULONG value);
USHORT chip_set_dec_point(CardExtension *ext, ULONG axis_mask, ULONG value);
USHORT chip_set_arc_center(CardExtension *ext, ULONG axis_mask, ULONG value);
USHORT chip_set_comp_plus(CardExtension *ext, ULONG axis_mask, ULONG value);
USHORT chip_set_comp_minus(CardExtension *ext, ULONG axis_mask, ULONG value);
USHORT chip_set_cmd_counter(CardExtension *ext, ULONG axis_mask, ULONG value);
USHORT chip_set_enc_counter(CardExtension *ext, ULONG axis_mask, ULONG value);
USHORT chip_set_ext_mode(CardExtension *ext, ULONG axis_mask, USHORT word1, USHORT word2);
USHORT chip_set_sync_mode(CardExtension *ext, ULONG axis_mask, USHORT word1, USHORT word2);

VOID int_sources_enable(CardExtension *ext, const IntSourceSet *sources);
VOID int_sources_disable(CardExtension *ext, const IntSourceSet *sources);
int axis_mask_to_index(ULONG axis_mask);
ULONG rotate_axis_mask(int axis_index, ULONG relative_mask);

/* Register test (REQ_REG_RW_TEST) and CPLD version with board date code. */
#define REG_TEST_READ_CARD 0
#define REG_TEST_WRITE_CARD 1
#define REG_TEST_READ_BRIDGE 2
#define REG_TEST_WRITE_BRIDGE 3
BOOLEAN register_test(CardExtension *ext, ULONG operation, ULONG offset, USHORT value,
                      PUSHORT read_value);
ULONG board_date_code(const CardExtension *ext);

/* drive_end_flags.cpp: why the axes' drives ended (DriveEndFlags). */
/* A move of its own starts on each axis of the mask: its end flags go. */
VOID clear_end_flags(CardExtension *ext, ULONG axis_mask);
/* The axes of the mask start one interpolated path together: their end
 * flags go, and each stops for the reasons of the whole path. */
VOID start_path_end_flags(CardExtension *ext, ULONG path_mask);
/* The drive of the axis of index 0-3 ended for this reason. */
VOID set_end_flag(CardExtension *ext, int axis, AxisEndFlag flag);
/* A stop command ended the axis's last drive. */
BOOLEAN stopped_by_command(CardExtension *ext, int axis);
/* The axis and the others of its last path while they are still on it:
 * the chip latches a path's stop reason on the axis that met it, and its
 * partners stopped short all the same. */
ULONG axes_of_its_path(CardExtension *ext, int axis);
/* The stop-reason word of an axis that stands (DRIVE_FINISH_* bits of the
 * libraries): latched, the chip's reasons of its path, and the driver's
 * flags of the axis and of its path. */
USHORT stop_reasons(CardExtension *ext, int axis, ULONG path, USHORT latched);
/* Card reset: no drive has ended. */
VOID drive_end_flags_reset(CardExtension *ext);

/* held_starts.cpp: the held drive starts (HeldStarts). The *_locked
 * routines run under the interrupt lock, with the command they follow. */
/* REQ_DRV_HOLD: the chip holds the axes' drive starts. */
VOID held_starts_hold(CardExtension *ext, ULONG axis_mask);
/* REQ_DRV_START: the axes' held starts run; the held-axis mask empties. */
VOID held_starts_release(CardExtension *ext, ULONG axis_mask);
/* A stop took the axes' waiting drive starts: their holds go too, so that
 * the next start runs. */
VOID held_starts_stop(CardExtension *ext, ULONG axis_mask);
/* Card reset: the chip's reset dropped every hold. */
VOID held_starts_reset(CardExtension *ext);
/* A drive command was written for the axes: a held one now waits. */
VOID held_starts_note_drive_locked(CardExtension *ext, ULONG axis_mask);
/* A stop command was written: the chip dropped the axes' waiting drives. */
VOID held_starts_drop_drives_locked(CardExtension *ext, ULONG axis_mask);
/* A release action fires: its target's held starts run. */
VOID held_starts_release_locked(CardExtension *ext, ULONG axis_mask);
/* An S-curve action fires on its target: waits on it are refused. */
VOID held_starts_mark_held_locked(CardExtension *ext, ULONG axis_mask);
/* The axes of the mask that the chip holds. */
ULONG held_starts_in_chip_locked(const CardExtension *ext, ULONG axis_mask);
/* A held drive waits for its release on the axis of index 0-3. */
BOOLEAN held_starts_drive_waits_locked(const CardExtension *ext, int axis);
/* A held drive waits for its release on some axis. */
BOOLEAN held_starts_any_drive_waits(CardExtension *ext);
/* An axis of the mask is in the held-axis mask: a wait on it is refused. */
BOOLEAN held_starts_refuse_wait(CardExtension *ext, ULONG axis_mask);

/* card_reset.cpp: chip and driver state back to their defaults. */
VOID card_reset(CardExtension *ext);

/* stretched_ranges.cpp: partner ranges a single line or arc stretched. */
/* Stretches a partner's range to the master's times thousandths/1000 and
 * remembers the range it had. */
VOID stretch_partner_range(CardExtension *ext, ULONG axis_bit, ULONG master_range,
                           ULONGLONG thousandths);
/* The line is over: each stretched partner gets its range back. */
VOID give_back_stretched_ranges(CardExtension *ext);
/* Card reset: no line is left, no range to give back. */
VOID forget_stretched_ranges(CardExtension *ext);
/* The axis's range as the application set it, before any line stretched it. */
ULONG range_before_line(const CardExtension *ext, int axis);

/* config_handlers.cpp: axis configuration (mode registers, extension words,
 * outputs, software limits, comparators, home inputs). */
RequestHandler set_pulse_config;
RequestHandler set_encoder_config;
RequestHandler set_limit_config;
RequestHandler set_in_position;
RequestHandler set_alarm_config;
RequestHandler set_in3_config;
RequestHandler set_input_filter;
RequestHandler set_erc_output;
RequestHandler switch_servo;
RequestHandler set_alarm_reset_output;
RequestHandler set_general_output;
RequestHandler get_out1_status;
RequestHandler set_software_limit;
RequestHandler set_home_config;
RequestHandler set_comparators;
/* Comparator source (0 command counter, 32 encoder; other values leave it)
 * and the values flagged for writing, on the axis of index 0-3. */
USHORT set_comp_registers(CardExtension *ext, int axis, USHORT source, BOOLEAN write_plus,
                          ULONG plus, BOOLEAN write_minus, ULONG minus);
/* Home input levels (mode 1 bits 0, 2, 4), step flags (extension word 2
 * bits 0-8) and, when the flags hold the offset step (bit 6), the offset in
 * pulses, on every axis of the mask. */
USHORT apply_home_config(CardExtension *ext, ULONG axis_mask, USHORT levels, USHORT step_flags,
                         ULONG offset);
/* The servo output of the first axis of the mask: servo_bit is the axis's
 * servo output bit (switch on) or 0 (switch off). */
USHORT set_servo_on(CardExtension *ext, ULONG axis_mask, USHORT servo_bit, UCHAR value);

/* move_handlers.cpp: move checks, single-axis moves, speed and target changes. */
/* Direction bytes of the move requests and checks. */
#define MOVE_DIR_MINUS 0x00
#define MOVE_DIR_PLUS 0x01
#define MOVE_DIR_LOADED 0xFC     /* load the move, start nothing (synchronous action) */
#define MOVE_DIR_CHECKED 0xFD    /* checked by REQ_CHECK_AXES_MOVE; direction in a later slot */
#define MOVE_DIR_NONE 0xFF       /* the axis does not move */
/* The mode word of a move (MODE_*, rm7x0_ioctl.h) asks for a constant speed. */
static inline bool constant_speed_mode(USHORT mode) {
  return (mode & MODE_SPEED_FIELD) == MODE_CONSTANT_SPEED;
}
/* Failing axes in *failing (0x800C) when the axis's errors block the direction. */
USHORT check_move_params(CardExtension *ext, ULONG axis_mask, UCHAR direction, PUSHORT failing);
/* The failing axes of a mask, one direction byte per axis X..U. */
USHORT check_velocity_params(CardExtension *ext, ULONG axis_mask, const UCHAR direction[AXIS_COUNT]);
USHORT check_axis_idle(CardExtension *ext, ULONG axis_mask);                   /* 0x8002 */
USHORT check_axis_ready(CardExtension *ext, ULONG axis_mask, UCHAR direction); /* 0x801F */
/* A move profile from eight request slots from first_slot on: start speed,
 * drive speed, rate, deceleration rate, mode word, pulses, (direction), tail. */
MoveProfile profile_of_slots(const DriverRequest *block, int first_slot);
/* REG_MODE3 profile bits of the axis (index 0-3) := those of the mode word. */
VOID set_profile_mode(CardExtension *ext, int axis, USHORT mode);
/* The S-curve speed, jerk and tail registers of a profile (no pulses, no start). */
VOID load_s_curve_speeds(CardExtension *ext, ULONG axis_mask, const MoveProfile *move);
/* Load a fixed drive on one axis and start it in direction 1 or 0 (other
 * directions leave it loaded). */
USHORT drv_t_move(CardExtension *ext, ULONG axis_mask, const MoveProfile *move, UCHAR direction);
USHORT drv_s_move(CardExtension *ext, ULONG axis_mask, const MoveProfile *move, UCHAR direction);
/* Continuous drive of every axis of the mask (direction 1 plus, else minus). */
USHORT drv_velocity_move(CardExtension *ext, ULONG axis_mask, USHORT start_speed,
                         USHORT drive_speed, USHORT acceleration, UCHAR direction);
RequestHandler velocity_move;
RequestHandler const_move;
RequestHandler t_move;
RequestHandler s_move;
RequestHandler check_axes_move_request;
RequestHandler t_change_speed;
RequestHandler s_change_speed;
RequestHandler t_set_avoid_triangle;
RequestHandler set_start_speed_and_rates;
RequestHandler change_target;

/* Shadow fields of one axis (config_handlers.cpp): the field of the word is
 * replaced by the value's bits and the whole register written, as one step
 * under the interrupt lock. */
VOID set_mode_field(CardExtension *ext, int axis, AxisShadow shadow, USHORT field, USHORT value);
VOID set_ext_field(CardExtension *ext, int axis, AxisShadow word_index, USHORT field, USHORT value);

/* status_handlers.cpp: status queries, counters, stop, hold and release, ring
 * counter, hand wheel, end of wait and interrupt factors. */
RequestHandler get_di_status_request;
RequestHandler get_error_status_request;
RequestHandler get_in3;
RequestHandler set_cmd_counter;
RequestHandler get_cmd_counter;
RequestHandler set_enc_counter;
RequestHandler get_enc_counter;
RequestHandler motion_done_request;
RequestHandler get_speed;
RequestHandler get_acc;
RequestHandler get_latch;
RequestHandler stop_move;
RequestHandler stop_move_all;
RequestHandler drive_start;
RequestHandler drive_hold;
RequestHandler set_vring;
RequestHandler set_mpg;
RequestHandler end_wait;
RequestHandler set_int_factor_request;
RequestHandler get_int_factor;
/* Motion state of the first axis of the mask: done 1 when stopped, with the
 * stop-reason word (DRIVE_FINISH_* bits of the libraries). */
VOID motion_done(CardExtension *ext, ULONG axis_mask, PUCHAR done, PUSHORT state);
/* Error word of the first axis of the mask in error (status 2 bits 0-5, and
 * bit 7 when asked); 0 when none is. */
USHORT get_error_status(CardExtension *ext, ULONG axis_mask, BOOLEAN include_bit7);
/* Input status word of the first axis of the mask (DI_* bits); raw_input, when
 * not NULL, receives the raw input word. */
USHORT get_di_status(CardExtension *ext, ULONG axis_mask, PUSHORT raw_input);
#define DI_DRIVING 0x0001u
#define DI_LIMIT_PLUS 0x0002u
#define DI_LIMIT_MINUS 0x0004u
#define DI_EMERGENCY_STOP 0x0008u
#define DI_ALARM 0x0010u
#define DI_HOME 0x0020u
#define DI_NEAR_HOME 0x0040u
#define DI_IN_POSITION 0x0100u
#define DI_INDEX 0x0200u
/* Stops the axes of the mask (CHIP_DEC_STOP, anything else a sudden stop) and
 * marks them stopped by command. */
VOID stop_axes(CardExtension *ext, ULONG axis_mask, USHORT stop_code);

/* interrupt_factors.cpp: the interrupt factors (mode register 1 bits 8-15)
 * of the axes of the mask. */
USHORT set_int_factor(CardExtension *ext, ULONG axis_mask, USHORT factor);
/* set_int_factor for the application's own factors, which it keeps apart from
 * those that interrupt actions add. */
USHORT set_app_factor(CardExtension *ext, ULONG axis_mask, USHORT factor);
/* Factor enables of the waits: drive end (mode 1 bit 15), home end
 * (extension word 1 bit 5); switching one on also switches the PCI and chip
 * interrupts on. */
VOID arm_drive_end(CardExtension *ext, ULONG axis_mask, BOOLEAN on);
VOID arm_home_end(CardExtension *ext, ULONG axis_mask, BOOLEAN on);
/* The chip interrupt (and the PCI interrupt) on, for a factor armed or enabled. */
VOID switch_chip_interrupt_on(CardExtension *ext);
/* The chip interrupt off, unless an axis still has a factor enabled or a
 * segment table is fed by it. */
VOID switch_chip_interrupt_off_when_unused(CardExtension *ext);

/* waiting_requests.cpp (continued): arming the waits. */
/* Arms the factor on the axes of the mask without a request. */
USHORT arm_wait(CardExtension *ext, ULONG axis_mask, ULONG factor);
/* Why a request could not wait on the lowest axis of the mask now (0x801D,
 * 0x8023, 0x800D in this order), or 0x8000. */
USHORT wait_refusal(CardExtension *ext, ULONG axis_mask);
/* Pends the request on the lowest axis of the mask until the factor arrives
 * (or it is cancelled); on 0x8000 the request is pending and its status
 * STATUS_PENDING. */
USHORT arm_wait_irp(RequestContext *request, ULONG axis_mask, ULONG factor);
/* A move or home search that may wait: with pend, the request waits on the
 * axis (arm_wait_irp) and the start runs only once it is pending; without,
 * the factor is armed alone. A start refused after the request was made
 * pending completes it at once with the refusal word. */
USHORT run_waited_start(RequestContext *request, ULONG wait_mask, ULONG factor, BOOLEAN pend,
                        RequestHandler *start);

/* interrupt_actions.cpp: the actions the DPC runs at an axis's factor, and
 * the request that sets one. */
RequestHandler set_int_action;
VOID run_interrupt_actions(CardExtension *ext, int axis, USHORT factor);
VOID disarm_int_actions(CardExtension *ext, ULONG axis_mask);
/* Card reset: the chip's reset switched every factor off; no slot is left. */
VOID int_actions_reset(CardExtension *ext);
/* The factors go off on the axes, unless an action slot still counts them,
 * the application set them itself (its events wait on them) or a wait needs
 * the drive end; the chip interrupt then goes off when nothing needs it. */
VOID drop_factors_unless_needed(CardExtension *ext, ULONG axis_mask, USHORT factor);

/* home_search.cpp: the extended home configuration, the home start, the
 * search steps after a home end (modes 0-3) and on the home timer (modes 4
 * and 5), and the stop and reset of the searches. */
RequestHandler set_home_config_ex;
RequestHandler home_start;
/* One step of the chip's home search on the axis of index 0-3. */
USHORT home_move_step(CardExtension *ext, int axis, USHORT start_speed, USHORT acceleration,
                      USHORT deceleration, USHORT drive_speed, USHORT low_speed);
/* An armed home end of the axis arrived: the next step of its search, or its
 * end. TRUE when the search is over (its waiting request completes). */
BOOLEAN home_end_arrived(CardExtension *ext, int axis);
/* The home timer's DPC: one tick of every timer search; the timer is set
 * again while one still runs. */
VOID home_timer_dpc(PKDPC dpc, PVOID context, PVOID arg1, PVOID arg2);
/* REQ_SET_HOME_CFG on every axis of the mask: applied at once, or held
 * until the end of the axis's search while one runs. */
VOID home_search_set_inputs(CardExtension *ext, ULONG axis_mask, const HomeInputs *inputs);
/* After a stop has reached the chip: the configurations held while the
 * stopped searches ran take effect. */
VOID home_search_apply_held(CardExtension *ext, ULONG axis_mask);
/* A search runs on the axis of index 0-3 (busy even between its steps). */
BOOLEAN home_search_running(CardExtension *ext, int axis);
/* A search runs on an axis of the mask. */
BOOLEAN home_searches_running(CardExtension *ext, ULONG axis_mask);
/* Ends the searches (and home configurations) of the axes of the mask before
 * a stop reaches the chip, so that nothing a DPC does afterwards moves them;
 * answers the axes whose search was running. */
ULONG end_home_searches(CardExtension *ext, ULONG axis_mask);
/* Customization type 1: a search that finds its home clears the counters. */
VOID home_search_set_end_counter_clear(CardExtension *ext, USHORT value);
/* add_device: the home lock, timer and timer DPC. */
VOID home_search_init(CardExtension *ext, PDEVICE_OBJECT device);
/* Plug and Play stop and removal, power-down, at PASSIVE_LEVEL: every search
 * ends and the home timer stops; no timer DPC is left set, queued or running. */
VOID home_search_stop(CardExtension *ext);
/* Card reset, before the chip reset: every search ends and nothing of the
 * searches' configurations, options and timer is left. */
VOID home_search_reset(CardExtension *ext);
/* The main status says the axis of index 0-3 is in error. */
BOOLEAN axis_in_error(CardExtension *ext, int axis);

/* compare_trigger.cpp: the compare trigger (CompareTrigger) and its table,
 * the compare-output mask and the model-B compare counters. */
RequestHandler upload_compare_table;
RequestHandler cmptrig_config;
RequestHandler set_cmp_mask_in3;
RequestHandler get_cmp_counter;
RequestHandler get_cmp_trig_counter;
RequestHandler get_cmp_pitch;
/* The interrupt service routine reloads the compare table (the compare
 * mode): the chip interrupt is the table's meanwhile. */
BOOLEAN compare_table_reloading(CardExtension *ext);
/* Under the interrupt lock: index 0-3 of the axis whose trigger runs the
 * table, -1 when none does. */
int compare_table_axis(const CardExtension *ext);
/* The interrupt service routine, at a table match: the next entry goes to
 * the comparator that matched (COMP+ for even, COMP- for odd entries); after
 * the last one nothing is reloaded. */
VOID load_next_compare_entry(CardExtension *ext);
/* Factors the interrupt service routine read while the table reloads, kept
 * for the DPC, which takes them (interlocked). */
VOID keep_factor_for_dpc(CardExtension *ext, int axis, USHORT factor);
USHORT take_factor_for_dpc(CardExtension *ext, int axis);
BOOLEAN factors_left_for_dpc(CardExtension *ext);
/* Card reset, after the chip's reset disarmed every trigger: no trigger,
 * no table, no factor kept for the DPC. */
VOID compare_trigger_reset(CardExtension *ext);

/* sync_action.cpp: the synchronous actions of the axes (SyncActions). */
RequestHandler set_synch;
/* Writes an axis's two sync words and keeps them as its shadows; the speed
 * kept for a speed-change action goes once no such action is left. */
VOID store_sync_words(CardExtension *ext, int axis, USHORT word1, USHORT word2);
/* An axis's synchronous action changes the drive speed from the chip's data
 * register (sync word 2 bit 11). */
BOOLEAN speed_change_armed(const CardExtension *ext);
/* Under the interrupt lock: the application wrote the chip's data register
 * while a speed-change action is armed; that speed is kept for the action. */
VOID keep_action_speed(CardExtension *ext, USHORT value);
/* Under the interrupt lock, at the end of a sequence that wrote the chip's
 * data register: the speed kept for an armed speed-change action goes back. */
VOID restore_kept_data(CardExtension *ext);
/* Card reset, after the chip's reset cleared the sync words: no action, no
 * kept speed. */
VOID sync_action_reset(CardExtension *ext);

/* axis_owners.cpp: who holds an axis's comparators and sync words
 * (AxisOwners). The owner checks answer 0x8000 when the axis's are free or
 * already the owner's, else the conflict word of the present holder:
 * check_axis_motion for the comparators, check_axis_sync for the sync words
 * (0x8007 compare trigger, 0x8008 synchronous action). */
USHORT check_axis_motion(CardExtension *ext, int axis, LONG owner);
USHORT check_axis_sync(CardExtension *ext, int axis, LONG owner);
/* The function takes the axis's comparators; it gives them back (nothing
 * when another function holds them). */
VOID hold_comparators(CardExtension *ext, int axis, FeatureOwner owner);
VOID release_comparators(CardExtension *ext, int axis, FeatureOwner owner);
/* The same for the axis's sync words. */
VOID hold_sync_words(CardExtension *ext, int axis, SyncOwner owner);
VOID release_sync_words(CardExtension *ext, int axis, SyncOwner owner);
BOOLEAN sync_words_held_by(CardExtension *ext, int axis, SyncOwner owner);
/* Card reset: the chip's reset freed every axis's comparators and words. */
VOID axis_owners_reset(CardExtension *ext);

/* interpolation_handlers.cpp: line and arc moves, continuous interpolation
 * and its segment table. */
RequestHandler t_line2_move;
RequestHandler t_line3_move;
RequestHandler s_line2_move;
RequestHandler s_line3_move;
RequestHandler t_arc2_move;
RequestHandler conti_begin;
RequestHandler conti_config;
RequestHandler conti_end;
RequestHandler conti_next_ready;
RequestHandler conti_line2_move;
RequestHandler conti_line3_move;
RequestHandler conti_arc2_move;
RequestHandler conti_load_segment;
RequestHandler conti_running_segment;
/* add_device: the conti lock. */
VOID interpolation_init(CardExtension *ext);
/* Card reset (also at start and power-up), after the chip's reset: no line,
 * no run, an empty table, the option off and the mode register's shadow 0. */
VOID interpolation_reset(CardExtension *ext);
/* The card was quiesced (its axes stopped, no DPC runs): no line or run
 * goes on and the table is empty. The ranges a line stretched stay known
 * until the card reset: the power-down keeps the ranges from before it. */
VOID interpolation_stop(CardExtension *ext);
/* A line, an arc or an open continuous run (not one that closes). */
BOOLEAN interpolation_running(CardExtension *ext);
/* Under the interrupt lock: the interpolation mode's continuous bit is on,
 * so the chip's free slot may ask the DPC for the table's next segment. */
BOOLEAN conti_table_fed(const CardExtension *ext);
/* TRUE when the axes (third may be 0) may start an interpolation: no
 * continuous interpolation runs, and no line or arc drives (the chip runs one
 * interpolation at a time); a finished line or arc is ended. */
BOOLEAN interp_axes_free(CardExtension *ext, ULONG master, ULONG second, ULONG third);
/* A line or arc is over: state idle, partner ranges given back. */
VOID end_single_interpolation(CardExtension *ext);
/* DPC: a drive end of an axis of the line or arc ends it. */
VOID line_drive_end_arrived(CardExtension *ext, int axis);
/* A line or arc whose axes all stand is over, whether or not its drive end
 * was armed to say so. */
VOID settle_single_interpolation(CardExtension *ext);
/* DPC: hands the next stored segment of a table run to the chip when it
 * takes one; a run without a table is the application's to feed. */
VOID conti_feed_segment(CardExtension *ext);
/* DPC: the master's drive end ends a table run; TRUE when it did. */
BOOLEAN conti_run_ended(CardExtension *ext, int axis, USHORT factor);
/* A request that watches a table run serves it as the DPC does: a free
 * slot gets the next segment, and a started run whose master stands is
 * ended at once, so that its axes never read done while it is still open. */
VOID conti_serve_table_run(CardExtension *ext);
/* Every request first ends a run closed while its path ran, once its axes
 * stand: the partners get their ranges back before anything else. */
VOID conti_settle_closed_run(CardExtension *ext);
/* REQ_SET_RANGE for a partner of a run closed while its path runs: the range
 * waits for the axes to stand (TRUE), as the run's own give-back does. */
BOOLEAN conti_defer_range(CardExtension *ext, ULONG axis_mask, ULONG range);

/* torix_handlers.cpp: the Torix remote-I/O bus. */
RequestHandler set_torix_do;
RequestHandler get_torix_di;
RequestHandler get_torix_di_cached;
RequestHandler scan_torix;
RequestHandler config_torix;
RequestHandler set_torix_int;
RequestHandler reset_torix;
RequestHandler set_torix_aux;
/* DPC and handlers: the input cache := the Torix input ports 8-15. */
VOID refresh_torix_inputs(CardExtension *ext);
/* Card reset, which switched the bus's interrupt off: its flag goes too. */
VOID torix_reset(CardExtension *ext);

/* A flag that another context changes with interlocked operations, read
 * as one interlocked access. */
static inline LONG read_interlocked(volatile LONG *flag) {
  return InterlockedCompareExchange(flag, 0, 0);
}

/* Runs fn under the card's interrupt lock. */
template <typename Fn>
static inline void run_synchronized(CardExtension *ext, Fn fn) {
  KeSynchronizeExecution(
      ext->interrupt,
      [](PVOID context) -> BOOLEAN {
        (*static_cast<Fn *>(context))();
        return TRUE;
      },
      (PVOID)&fn);
}

/* Runs fn under a structured exception guard, for kernel routines that raise
 * on failure (a user-mode mapping): STATUS_SUCCESS, or the status raised.
 * On Windows, __try/__except: a raise without a handler stops the system, so
 * a compiler without structured exception handling (MinGW-w64's g++) must
 * not build the driver (windows/driver builds it with clang). The Linux
 * kernel stand-in raises a C++ exception. */
template <typename Fn>
static inline NTSTATUS run_guarded(Fn fn) {
#if defined(_WIN32)
#if !defined(_MSC_VER) && !defined(__clang__)
#error "the driver's exception guard needs __try/__except: build it with clang or MSVC"
#endif
  __try {
    fn();
  } __except (EXCEPTION_EXECUTE_HANDLER) {
    return GetExceptionCode();
  }
#else
  try {
    fn();
  } catch (const KERNEL_EXCEPTION &raised) {
    return raised.Status;
  }
#endif
  return STATUS_SUCCESS;
}

/* Calls fn(axis) for each axis index 0-3 whose bit the mask holds. */
template <typename Fn>
static inline void for_each_axis(ULONG axis_mask, Fn fn) {
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    if (axis_mask & (1u << axis)) fn(axis);
  }
}

#endif
