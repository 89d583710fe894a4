#pragma once
// The card's timing, in milliseconds, and the tick counts derived from it: how long each
// side waits for the other, in one place so that the waits can be read against each other.

// The timer thread's tick: it paces the resends and the port scans.
constexpr int TIMER_TICK_MS = 100;

// An unacknowledged frame goes out again this long after the last send, at most
// N_SEREND_TIMES more times; the wait is given up on the tick of the last resend.
constexpr int RESEND_INTERVAL_MS = 1100;
constexpr unsigned char N_SEREND_TIMES = 3;
// A resend once resend_timer, counting ticks since the send, exceeds this.
constexpr int RESEND_TICKS = RESEND_INTERVAL_MS / TIMER_TICK_MS - 1;
static_assert(RESEND_INTERVAL_MS % TIMER_TICK_MS == 0, "the resend falls on a tick");

// A frame's acknowledge, its resends included, with a tick to spare.
constexpr int ACKNOWLEDGE_WAIT_MS = 4500;
static_assert(ACKNOWLEDGE_WAIT_MS > N_SEREND_TIMES * RESEND_INTERVAL_MS + TIMER_TICK_MS);

// While no exchange runs the ports are scanned again this often.
constexpr int PORT_SCAN_INTERVAL_MS = 1100;
// A scan once timmer_100ms, counting ticks since the last scan, exceeds this.
constexpr int PORT_SCAN_TICKS = PORT_SCAN_INTERVAL_MS / TIMER_TICK_MS - 1;
static_assert(PORT_SCAN_INTERVAL_MS % TIMER_TICK_MS == 0, "the scan falls on a tick");

// The receive thread looks at rx_enable at least this often; a stop wakes it at once.
constexpr int RX_POLL_MS = 10;
// A write waits this long for room in the port's output buffer before it gives up.
constexpr int WRITE_ROOM_WAIT_MS = 100;
// An incomplete frame older than this is junk: a real one arrives within a few milliseconds.
constexpr int INCOMPLETE_FRAME_TIMEOUT_MS = 100;

// One request for a memory-read chunk: longer than the acknowledge's first resend.
constexpr int CHUNK_TIMEOUT_MS = 2000;
static_assert(CHUNK_TIMEOUT_MS > RESEND_INTERVAL_MS);
// Requests for one chunk before the read gives up: the first and three more.
constexpr int CHUNK_ASKS = 4;
// A read ends once the card has sent nothing for this long, so a card that stops answering
// or is unplugged ends it within 10 s, the configuration read before it included.
constexpr int CARD_SILENCE_LIMIT_MS = 6000;
// The configuration read: attempts, and how long each waits for the reply.
constexpr int CONFIG_READ_ATTEMPTS = 3;
constexpr int CONFIG_ATTEMPT_MS = 1020;
// The erase confirmation and the date reply.
constexpr int REPLY_TIMEOUT_MS = 1020;

// The operation thread looks at dl_state at least this often.
constexpr int ENGINE_POLL_MS = 100;
// How long the cloud hand-off waits for the card to answer the version query.
constexpr int FIRMWARE_REFRESH_WAIT_MS = 3000;
// After a refused firmware the timer thread ends the process at its next tick; the
// companion waits this long for it.
constexpr int FIRMWARE_REFUSAL_EXIT_MS = 2000;
static_assert(FIRMWARE_REFUSAL_EXIT_MS > 2 * TIMER_TICK_MS);

// The upload: the pause between a message and the receive of its reply, and how long a
// connection or a reply may take before it counts as failed.
constexpr int UPLOAD_REPLY_PAUSE_MS = 100;
constexpr int UPLOAD_CONNECT_TIMEOUT_MS = 10000;
constexpr int UPLOAD_REPLY_TIMEOUT_MS = 10000;
// Uploads that wait in the outbox are sent again this often while the program runs.
constexpr int OUTBOX_RESEND_MS = 10 * 60 * 1000;
