// The job pipe's wire format and the dispatcher's fixed numbers. Both ends of the pipe use this
// header: the dispatcher (server of the job pipe, client of the data pipe) and every writer
// (the port monitor, the job-pipe writer library, the tests). Everything marked "extension" is
// spoken only between a writer and a dispatcher that both know it; each side falls back to the
// documented format when the other does not offer it.
#pragma once

#include <stdint.h>

// The job pipe: one name for the whole machine (ANSI). A connection's data pipe is this name, a
// full stop and the connection number in decimal ("%s.%d").
#define QUILL_JOB_PIPE_NAME "\\\\.\\pipe\\{84E100BC-FFD0-4200-B70D-72AD78F393CE}"
#define QUILL_DATA_PIPE_FORMAT "%s.%d"
// Extension: each dispatcher also serves a job pipe of its own logon session, named after the
// session id ("%s.Session%lu" with the job pipe's name); only its user and SYSTEM may open it. The
// data pipes of its connections are named after it in the same way ("%s.%d").
#define QUILL_SESSION_PIPE_FORMAT "%s.Session%lu"
// Extension: the data pipe of a connection whose dispatcher's Features carry a key is named after
// the key as well ("%s.%d.%06lx" with the job pipe's name, the connection number and the key), so
// that nobody can make it before the writer does.
#define QUILL_KEYED_DATA_PIPE_FORMAT "%s.%d.%06lx"
// Room for any of these names.
#define QUILL_PIPE_NAME_CHARS 128

// Job pipe instances made by the listener.
#define QUILL_JOB_PIPE_BUFFER_SIZE 2048
#define QUILL_JOB_PIPE_SDDL L"D:(A;OICI;GRGW;;;AU)(A;OICI;GA;;;BA)"

// The data pipe a dispatcher creates when it plays the client during a take-over.
#define QUILL_TAKEOVER_PIPE_BUFFER_SIZE 32768

// Stack size of a connection thread (64535, not 65535).
#define QUILL_CONNECTION_STACK_SIZE 64535

// Record types on the data pipe.
#define RECORD_OPEN_SPOOL 2
#define RECORD_CLOSE_SPOOL 4
#define RECORD_JOB_DONE_OPEN 5
#define RECORD_JOB_DONE 6
#define RECORD_SHOW_JOB_COUNT 7
#define RECORD_SPOOL_DATA 10
#define RECORD_STOP_LISTENING 12
// Extension: the writer asks for a JobResult on the job pipe for every job it ends (no payload).
// Sent only to a dispatcher whose Features offer it; others drop it as an unknown type.
#define RECORD_WANT_RESULTS 20
#define RECORD_EXIT 254

// NameMode of an OpenSpool record; 0 and 4 to 65535 all mean TitleOnly.
#define NAME_MODE_TITLE_ONLY 0
#define NAME_MODE_TIME_ONLY 1
#define NAME_MODE_TIME_THEN_TITLE 2
#define NAME_MODE_TITLE_THEN_TIME 3

// Launch flags of a JobDoneOpen record.
#define LAUNCH_FLAG_DRV 1
#define LAUNCH_FLAG_SILENT 2

// Largest payload of one record.
#define QUILL_MAX_PAYLOAD 65535

// Sent by the dispatcher on the job pipe right after a client connected; 8 bytes, little-endian.
struct Hello {
  uint32_t ConnectionNumber;
  uint32_t Tag;  // always 1
};
#define QUILL_HELLO_TAG 1

// Extension: further 8-byte messages of the dispatcher on the job pipe, laid out like the Hello
// (a value, then a tag). A writer of the documented format reads only the Hello and never sees
// them.
struct JobPipeMessage {
  uint32_t Value;
  uint32_t Tag;
};
// Right after the Hello, before the dispatcher opens the data pipe: what it offers (flags below).
#define QUILL_FEATURES_TAG 2
#define QUILL_FEATURE_JOB_RESULTS 1
// The Features' upper 24 bits are a random key, new for every connection; a writer that knows
// this flag names its data pipe after the key (QUILL_KEYED_DATA_PIPE_FORMAT). The flags keep the
// low 8 bits. (A separate message would be read as the JobResult by writers that take the
// Features but know nothing of keys.)
#define QUILL_FEATURE_KEYED_DATA_PIPE 2
#define QUILL_FEATURE_FLAGS 0xFFu
#define QUILL_DATA_PIPE_KEY_SHIFT 8
#define QUILL_DATA_PIPE_KEY_MASK 0xFFFFFFu
// After each JobDoneOpen or JobDone of a writer that sent WantResults: 0 when the job's file was
// written whole and handed off (or, for JobDone, stored whole), else the Windows error that
// stopped it; the dispatcher then has deleted the file and started nothing.
#define QUILL_JOB_RESULT_TAG 3

// Starts every record on the data pipe; the payload follows.
struct RecordHeader {
  uint16_t RecordType;
  uint16_t PayloadLength;
};

static_assert(sizeof(Hello) == 8, "Hello is 8 bytes on the wire");
static_assert(sizeof(JobPipeMessage) == 8, "job pipe messages are 8 bytes on the wire");
static_assert(sizeof(RecordHeader) == 4, "RecordHeader is 4 bytes on the wire");
