/*
 * focus: host library for the laser focus device on a serial line.
 *
 * A host opens a connection with focus_init(), drives the device with the
 * command functions and releases the connection with focus_close(). Every
 * call runs on the caller's thread and blocks it until the device has
 * answered or the call's wait is over; the library starts no threads and
 * keeps no state outside the connection. One connection must not serve two
 * calls at the same time; connections on different ports share nothing.
 *
 * Line: 115200 baud, 8 data bits, no parity, one stop bit. Frames: 0x5A,
 * direction (0x01 from the host), payload length, command, payload,
 * CRC-16/MODBUS low byte first. All 16-bit values, on the wire and in the
 * records below, are little-endian.
 *
 * Receiving: a connection keeps the bytes that the device sent and no call
 * has consumed yet. Every call that waits for a reply searches those bytes
 * for frames by their 0x5A header, puts together frames that arrive over
 * several reads, skips stray bytes and frames whose CRC does not match, and
 * consumes only the frames up to the one that ends it; frames behind that
 * one stay for the next call. Every command clears what the connection holds
 * (and the driver's receive buffer) before it writes its request, so a reply
 * to an earlier request is never taken for the answer to a new one.
 *
 * Text: messages are UTF-8, several of them in Chinese.
 */
#ifndef FOCUS_H
#define FOCUS_H

#include <stdint.h>

/* The library's version, for compile-time checks. The build takes its
 * version from these lines (CMake's project version, the shared library's
 * file name and the DLL's version resource), so they are the one place to
 * change it. */
#define FOCUS_VERSION_MAJOR 1
#define FOCUS_VERSION_MINOR 0
#define FOCUS_VERSION_PATCH 0
#define FOCUS_VERSION_STRING "1.0.0"

#if defined(_WIN32)
#if defined(FOCUS_STATIC)
#define FOCUS_API
#elif defined(FOCUS_BUILDING)
#define FOCUS_API __declspec(dllexport)
#else
#define FOCUS_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define FOCUS_API __attribute__((visibility("default")))
#else
#define FOCUS_API
#endif

/* Every export uses the C calling convention; spelled out on 32-bit Windows,
 * where a host's compiler may default to another one. */
#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#define FOCUS_CALL __cdecl
#else
#define FOCUS_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes returned by the command functions. */
#define FOCUS_OK 0               /* done; for a command, the device acknowledged it */
#define FOCUS_ERR_ARG (-1)       /* null connection handle or null record pointer */
#define FOCUS_ERR_NOT_OPEN (-5)  /* the connection's port is not open */
#define FOCUS_ERR_DEVICE (-6)    /* the device refused the command or reported a failure */
#define FOCUS_ERR_WRITE (-7)     /* the request could not be written whole to the port */
#define FOCUS_ERR_TIMEOUT (-8)   /* no fitting reply within the call's wait */
#define FOCUS_ERR_NO_MEMORY (-9) /* the library ran short of memory during the call */

/* The status code's own name, such as "FOCUS_ERR_TIMEOUT", for logs and
 * messages; "unknown status" for any value not listed above. Defined here and
 * not exported: a host gets it from the header alone. */
static inline const char* focus_status_name(int32_t status) {
  switch (status) {
    case FOCUS_OK: return "FOCUS_OK";
    case FOCUS_ERR_ARG: return "FOCUS_ERR_ARG";
    case FOCUS_ERR_NOT_OPEN: return "FOCUS_ERR_NOT_OPEN";
    case FOCUS_ERR_DEVICE: return "FOCUS_ERR_DEVICE";
    case FOCUS_ERR_WRITE: return "FOCUS_ERR_WRITE";
    case FOCUS_ERR_TIMEOUT: return "FOCUS_ERR_TIMEOUT";
    case FOCUS_ERR_NO_MEMORY: return "FOCUS_ERR_NO_MEMORY";
    default: return "unknown status";
  }
}

/* The connection behind a handle; opaque to the host. */
typedef struct DeviceConnection DeviceConnection;

/* The clock words sent by focus_sync_time_set(), in this order. */
typedef struct SyncTime {
  uint16_t word1;
  uint16_t word2;
  uint16_t word3;
  uint16_t word4;
} SyncTime;

#pragma pack(push, 1)
/* A reply frame as focus_query_result() hands it back: the first bytes of
 * the frame's payload. */
typedef struct QueryResult {
  uint8_t kind;   /* payload byte 0: 2 a focus result, 3 a range result (1 an acknowledgement) */
  uint8_t status; /* payload byte 1: 1 accepted or succeeded */
  uint8_t code;   /* payload byte 2: the device's error code */
  uint16_t value; /* payload bytes 3 (low) and 4 (high); 0 when the payload has 3 or 4 bytes */
} QueryResult;

/* The device's system information: payload bytes 0 to 14 of its reply,
 * copied field by field in order. The library gives the fields no meaning. */
typedef struct SysInfo {
  uint8_t info1;   /* payload byte 0 */
  uint16_t info2;  /* payload bytes 1, 2 */
  uint8_t info3;   /* payload byte 3 */
  uint8_t info4;   /* payload byte 4 */
  uint8_t info5;   /* payload byte 5 */
  uint8_t info6;   /* payload byte 6 */
  uint16_t info7;  /* payload bytes 7, 8 */
  uint8_t info8;   /* payload byte 9 */
  uint8_t info9;   /* payload byte 10 */
  uint16_t info10; /* payload bytes 11, 12 */
  uint16_t info11; /* payload bytes 13, 14 */
} SysInfo;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(SyncTime) == 8, "SyncTime is 8 bytes");
static_assert(sizeof(QueryResult) == 5, "QueryResult is 5 bytes, packed");
static_assert(sizeof(SysInfo) == 15, "SysInfo is 15 bytes, packed");
#else
typedef char focus_sync_time_is_8_bytes[(sizeof(SyncTime) == 8) ? 1 : -1];
typedef char focus_query_result_is_5_bytes[(sizeof(QueryResult) == 5) ? 1 : -1];
typedef char focus_sys_info_is_15_bytes[(sizeof(SysInfo) == 15) ? 1 : -1];
#endif

/* ---- Connection ---------------------------------------------------------- */

/* Opens the serial port `port_name` exclusively ("/dev/ttyUSB0", "COM3";
 * on Windows, names from COM10 up need the "\\.\" prefix, which the library
 * does not add), sets it to 115200 baud 8N1 and to the standing timeouts
 * (read: interval 100, 10 ms per byte + 500; write: 10 ms per byte + 500).
 * Other line settings (flow control, modem lines) stay as the driver had
 * them. Result: a new connection handle, or NULL when the name is NULL,
 * memory is short or the port cannot be opened (no such device, already in
 * use, access refused). A name that is not a serial device is refused: a
 * file, a directory, /dev/null or a fifo returns NULL with errno ENOTTY
 * (a directory: EISDIR) / GetLastError() from GetCommState, and nothing is
 * written to it. After NULL, errno (POSIX) or GetLastError() (Windows)
 * holds the operating system's reason. */
FOCUS_API DeviceConnection* FOCUS_CALL focus_init(const char* port_name);

/* Closes the port and releases the connection; sends nothing. NULL is
 * accepted and does nothing. The handle is dead afterwards. */
FOCUS_API void FOCUS_CALL focus_close(DeviceConnection* dev);

/* The connection's last error message (UTF-8, never NULL; empty for a fresh
 * connection), or "null handle" for NULL. A message stays until a later
 * failure replaces it; success never clears it. The pointer is valid until
 * the next message is stored or the connection is closed. */
FOCUS_API const char* FOCUS_CALL focus_get_error(DeviceConnection* dev);

/* How a connection waits for replies; see focus_set_wait_mode(). */
#define FOCUS_WAIT_PACED 0  /* the default: the timing described for each call */
#define FOCUS_WAIT_PROMPT 1 /* a wait ends as soon as the frame that decides it is complete */

/* Chooses how the calls on this connection wait for the device's replies,
 * from the next call on. A new connection is FOCUS_WAIT_PACED.
 *
 * FOCUS_WAIT_PACED: each wait is a series of fixed sleeps, each followed by
 * one read of what has arrived (50 ms for an acknowledgement, 100 ms for a
 * result or the system information, 20 ms for single focus), as each call
 * below describes. A reply is therefore seen at the next read after it
 * arrived: a command answered at once still takes about 50 ms. This is the
 * pacing the device is known to work with.
 *
 * FOCUS_WAIT_PROMPT: instead of sleeping, each read blocks until bytes
 * arrive or the call's bound is reached, and the call returns as soon as the
 * frame that decides it is complete. The calling thread sleeps in the
 * operating system meanwhile (no busy loop).
 *
 * What the mode does not change: the bytes written, the frames taken and the
 * results, the messages stored, and each call's overall bound, measured from
 * the same moment (after the request is written): 1.5 s for an
 * acknowledgement, 0.5 s for focus_query_result(), 2 s for the system
 * information, the caller's limit for single focus (0: none). In both modes
 * a read that came back full is followed by the next read at once, so a
 * stream of results is taken off the line as fast as it arrives; and the
 * port's timeouts are set back to what they were on every way out of a
 * call. Prompt mode reads under the timeout record {ReadIntervalTimeout
 * MAXDWORD, ReadTotalTimeoutMultiplier MAXDWORD, ReadTotalTimeoutConstant
 * T} (T the time left, at most 60 s per read) where paced mode reads under
 * {MAXDWORD, 0, 0}.
 *
 * Results: FOCUS_OK; FOCUS_ERR_ARG for a NULL handle or a mode other than
 * the two above (the mode is then unchanged). Touches neither the port nor
 * the error text. */
FOCUS_API int32_t FOCUS_CALL focus_set_wait_mode(DeviceConnection* dev, uint32_t mode);

/* ---- Simple commands ----------------------------------------------------
 * Each sends one request and waits up to 30 x 50 ms (about 1.5 s) for the
 * device's acknowledgement. Value arguments are sent as their low 8 or 16
 * bits, unchecked.
 * Results: FOCUS_OK the device accepted; FOCUS_ERR_DEVICE it refused (any
 * acknowledgement status other than 1); FOCUS_ERR_TIMEOUT no acknowledgement;
 * FOCUS_ERR_ARG a NULL handle (nothing sent); FOCUS_ERR_NOT_OPEN with
 * "串口未打开"; FOCUS_ERR_WRITE with "串口写入失败" when the port took fewer
 * bytes than the request within the write timeout (no wait follows);
 * FOCUS_ERR_NO_MEMORY. Only these last three store a message. */

/* Command 0xA2, payload 01: start continuous focusing; results are collected
 * with focus_query_result(). */
FOCUS_API int32_t FOCUS_CALL focus_continuous_focus(DeviceConnection* dev);
/* Command 0xA3, payload 01: enter calibration mode. */
FOCUS_API int32_t FOCUS_CALL focus_calib_mode(DeviceConnection* dev);
/* Command 0xA4, payload lo(x), lo(y), hi(y): calibration move. */
FOCUS_API int32_t FOCUS_CALL focus_calib_move(DeviceConnection* dev, int x, int y);
/* Command 0xA5, payload 01: save the calibration. */
FOCUS_API int32_t FOCUS_CALL focus_calib_save(DeviceConnection* dev);
/* Command 0xA6, payload 01, lo(x): switch the laser on. */
FOCUS_API int32_t FOCUS_CALL focus_laser_on(DeviceConnection* dev, int x);
/* Command 0xA7, payload 01: switch the laser off. */
FOCUS_API int32_t FOCUS_CALL focus_laser_off(DeviceConnection* dev);
/* Command 0xA8, payload 01, lo(x): set the laser power. */
FOCUS_API int32_t FOCUS_CALL focus_laser_power(DeviceConnection* dev, int x);
/* Command 0xA9, payload 01: measure the range once; the result is collected
 * with focus_query_result(), even when it arrived with the acknowledgement. */
FOCUS_API int32_t FOCUS_CALL focus_single_range(DeviceConnection* dev);
/* Command 0xAA, payload 01: start continuous ranging; results are collected
 * with focus_query_result(). */
FOCUS_API int32_t FOCUS_CALL focus_continuous_range(DeviceConnection* dev);
/* Command 0xAB, payload lo(x): move the lift. */
FOCUS_API int32_t FOCUS_CALL focus_lift_control(DeviceConnection* dev, int x);
/* Command 0xAC, payload 01: arm the external trigger. */
FOCUS_API int32_t FOCUS_CALL focus_ext_trigger_set(DeviceConnection* dev);
/* Command 0xAD, payload 01: fire the external trigger. */
FOCUS_API int32_t FOCUS_CALL focus_ext_trigger_fire(DeviceConnection* dev);
/* Command 0xC1, payload 01: automatic descent. */
FOCUS_API int32_t FOCUS_CALL focus_auto_descend(DeviceConnection* dev);
/* Command 0xC2, payload 01, lo(x), hi(x), lo(y), hi(y): run the fixed cycle. */
FOCUS_API int32_t FOCUS_CALL focus_fixed_cycle(DeviceConnection* dev, int x, int y);
/* Command 0xC6, payload 01 then the four words of *time, each low byte
 * first. FOCUS_ERR_ARG also for a NULL time (nothing sent). */
FOCUS_API int32_t FOCUS_CALL focus_sync_time_set(DeviceConnection* dev, const SyncTime* time);
/* Command 0xC7, payload 01: ask for the device's clock; returns only the
 * outcome of the acknowledgement. */
FOCUS_API int32_t FOCUS_CALL focus_sync_time_get(DeviceConnection* dev);
/* Command 0xD1, payload 01: power the device off. */
FOCUS_API int32_t FOCUS_CALL focus_power_off(DeviceConnection* dev);

/* ---- Single focus -------------------------------------------------------
 * Sends command 0xA1 (5A 01 01 A1 01 94 61) and waits for the completion of
 * the focus run, reading every 20 ms. Acknowledgements that accept are
 * passed over. The limit runs from the moment the request was written.
 * Results: FOCUS_OK the run succeeded; FOCUS_ERR_DEVICE with
 * "单次对焦失败，设备错误码:N" (N the device's error code) when the run
 * failed, or with "单次对焦被设备拒绝" when the device refused it;
 * FOCUS_ERR_TIMEOUT with "单次对焦等待超时"; FOCUS_ERR_ARG for NULL;
 * FOCUS_ERR_NOT_OPEN, FOCUS_ERR_WRITE, FOCUS_ERR_NO_MEMORY as for the simple
 * commands. Success leaves an earlier message in place. */

/* Single focus with a limit of 5000 ms. */
FOCUS_API int32_t FOCUS_CALL focus_single_focus(DeviceConnection* dev);
/* Single focus with a limit of timeout_ms milliseconds; 0 waits without a
 * limit until the device decides. 4294967295 is a limit (about 49.7 days),
 * not "no limit". */
FOCUS_API int32_t FOCUS_CALL focus_single_focus_timeout(DeviceConnection* dev, uint32_t timeout_ms);

/* ---- Results and system information ------------------------------------ */

/* Sends nothing: collects the next focus or range result (kind 2 or 3) that
 * the device has sent, from what the connection holds first, then over up to
 * 5 reads 100 ms apart (about 0.5 s). Results are returned in the order the
 * device sent them; none is dropped between calls. *result is written by
 * every well-formed reply of at least 3 payload bytes met on the way, so
 * after FOCUS_ERR_TIMEOUT it may hold an acknowledgement, or be untouched.
 * Results: FOCUS_OK, FOCUS_ERR_ARG (NULL dev or result; nothing touched),
 * FOCUS_ERR_TIMEOUT, FOCUS_ERR_NO_MEMORY. Stores no message. */
FOCUS_API int32_t FOCUS_CALL focus_query_result(DeviceConnection* dev, QueryResult* result);

/* Sends command 0xF5 (5A 01 01 F5 01 AA A1) and waits up to 20 reads 100 ms
 * apart (about 2 s) for the first reply with at least 15 payload bytes,
 * whatever its kind, status or command; copies payload bytes 0 to 14 into
 * *info. Results: FOCUS_OK, FOCUS_ERR_ARG (nothing sent), FOCUS_ERR_NOT_OPEN,
 * FOCUS_ERR_WRITE, FOCUS_ERR_TIMEOUT, FOCUS_ERR_NO_MEMORY; *info is untouched
 * unless the result is FOCUS_OK. */
FOCUS_API int32_t FOCUS_CALL focus_read_sys_info(DeviceConnection* dev, SysInfo* info);

/* ---- Traffic trace ------------------------------------------------------
 * An opt-in view of every platform call a connection makes on its port, for
 * seeing what goes over the line while a device is commissioned or a call
 * times out. Tracing changes nothing the calls do: without a trace the
 * connection makes exactly the platform calls it always makes.
 *
 * The events, with what `bytes` and `count` hold:
 *   FOCUS_TRACE_WRITE         the bytes the port took (WriteFile)
 *   FOCUS_TRACE_READ          the bytes a read returned (ReadFile); a read
 *                             that returned nothing is not reported
 *   FOCUS_TRACE_PURGE         received bytes discarded (PurgeComm); none
 *   FOCUS_TRACE_TIMEOUTS      timeouts set (SetCommTimeouts); 20 bytes, the
 *                             five values of the record (read interval, read
 *                             multiplier, read constant, write multiplier,
 *                             write constant), each 4 bytes low byte first
 *   FOCUS_TRACE_GET_TIMEOUTS  timeouts read (GetCommTimeouts); 20 bytes as
 *                             above, or none when the read failed
 *   FOCUS_TRACE_SLEEP         a wait before a read (Sleep); 4 bytes, the ms
 *                             low byte first
 *   FOCUS_TRACE_CLOSE         the port closed by focus_close(); none
 * Reads of the millisecond clock are not reported; every event carries it.
 * Events of later versions get new numbers: ignore the ones you do not know. */
#define FOCUS_TRACE_WRITE 1u
#define FOCUS_TRACE_READ 2u
#define FOCUS_TRACE_PURGE 3u
#define FOCUS_TRACE_TIMEOUTS 4u
#define FOCUS_TRACE_GET_TIMEOUTS 5u
#define FOCUS_TRACE_SLEEP 6u
#define FOCUS_TRACE_CLOSE 7u

/* Receives one event: `user` as given to focus_set_trace(), the event, its
 * bytes (NULL when count is 0; valid only during the callback) and the
 * system's millisecond tick when the platform call returned. */
typedef void(FOCUS_CALL* focus_trace_fn)(void* user, uint32_t event, const uint8_t* bytes, uint32_t count,
                                         uint64_t tick_ms);

/* Sets the trace of a connection: from now on `fn` is called with `user`
 * after every platform call the connection makes on its port, in the order
 * of the calls; a NULL fn turns the trace off. A later call replaces the
 * earlier trace. The callback runs on the caller's thread, inside the
 * library call that made the platform call, which waits for it: it must
 * return (not throw or longjmp) and must not call the library for the same
 * connection; it may call for other connections. Results: FOCUS_OK;
 * FOCUS_ERR_ARG for a NULL dev. */
FOCUS_API int32_t FOCUS_CALL focus_set_trace(DeviceConnection* dev, focus_trace_fn fn, void* user);

#ifdef __cplusplus
}
#endif

#endif /* FOCUS_H */
