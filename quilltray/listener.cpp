#include "quilltray/listener.h"

#include <sddl.h>
#include <stdio.h>

#include "quilltray/data_pipe.h"
#include "quilltray/pipe_identity.h"
#include "quilltray/spool_file.h"
#include "shared/pipe_protocol.h"
#include "shared/quillstack_ids.h"

volatile LONG Listening = 1;
volatile LONG ConnectionCounter = 0;
volatile LONG LiveConnections = 0;
HWND MainWindow = nullptr;

namespace {

// The take-over waits that would otherwise have no end: a job pipe that stays busy and a serving
// dispatcher that never opens our data pipe (it gives up after about 5 seconds itself).
const DWORD TakeOverBusyLimitMs = 10000;
const DWORD TakeOverConnectLimitMs = 10000;
// A job-pipe instance that can't be created is tried again this often, this far apart, before
// the listener gives up and the window shows that nothing listens.
const int CreateInstanceAttempts = 10;
const DWORD CreateInstancePauseMs = 300;
// Bound for writing the 8-byte Hello into the job pipe's buffer.
const DWORD HelloWriteLimitMs = 5000;
// The session's own pipe is ours for as long as we run: while someone else holds its name, it is
// tried again this far apart, never given up.
const DWORD SessionPipeRetryMs = 1000;
// A connection whose data pipe's server sends no record within this time is dropped; so is one
// of a dispatcher taking the pipe over (it sends one record) at any pause this long.
const DWORD FirstRecordLimitMs = 5000;
// The take-over waits at most this long for the Features after the Hello (a serving dispatcher of
// the documented format sends none).
const DWORD TakeOverFeaturesLimitMs = 1000;

// Set by StopListener. The listener waits for its clients overlapped and ends as soon as this is
// set, so a stop never goes through the pipe, where it could reach another dispatcher's instance.
HANDLE StopEvent = nullptr;

// The job pipe of this logon session, served for the life of the process.
char SessionPipeName[QUILL_PIPE_NAME_CHARS] = {};

void DataPipeName(char* name, size_t size, const char* jobPipe, DWORD connectionNumber) {
  _snprintf(name, size, QUILL_DATA_PIPE_FORMAT, jobPipe, static_cast<int>(connectionNumber));
  name[size - 1] = '\0';
}

// Security for the job-pipe instances; false leaves the default security.
bool BuildPipeSecurity(SECURITY_ATTRIBUTES** attributes, PSECURITY_DESCRIPTOR* descriptor) {
  *attributes = nullptr;
  *descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(QUILL_JOB_PIPE_SDDL, SDDL_REVISION_1, descriptor, nullptr)) {
    *descriptor = nullptr;
    return false;
  }
  *attributes = static_cast<SECURITY_ATTRIBUTES*>(LocalAlloc(LPTR, sizeof(SECURITY_ATTRIBUTES)));
  if (!*attributes) {
    DWORD error = GetLastError();
    LocalFree(*descriptor);
    *descriptor = nullptr;
    SetLastError(error);
    return false;
  }
  (*attributes)->nLength = sizeof(SECURITY_ATTRIBUTES);
  (*attributes)->lpSecurityDescriptor = *descriptor;
  (*attributes)->bInheritHandle = FALSE;
  return true;
}

// Writes the whole buffer on an overlapped handle, waiting at most limitMs for the write to finish.
bool WriteOverlapped(HANDLE pipe, const void* data, DWORD size, DWORD limitMs) {
  OVERLAPPED overlapped = {};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!overlapped.hEvent) return false;
  DWORD written = 0;
  bool ok = WriteFile(pipe, data, size, &written, &overlapped) != FALSE;
  if (!ok && GetLastError() == ERROR_IO_PENDING) {
    if (WaitForSingleObject(overlapped.hEvent, limitMs) == WAIT_OBJECT_0) {
      ok = GetOverlappedResult(pipe, &overlapped, &written, FALSE) != FALSE;
    } else {
      CancelIoEx(pipe, &overlapped);
      GetOverlappedResult(pipe, &overlapped, &written, TRUE);
      ok = false;
    }
  }
  CloseHandle(overlapped.hEvent);
  return ok && written == size;
}

// Reads one 8-byte message with `tag` from a job pipe's (synchronous) client end once it is there,
// waiting at most limitMs for it.
bool ReadTaggedMessage(HANDLE pipe, uint32_t tag, DWORD limitMs, JobPipeMessage* message) {
  DWORD start = GetTickCount();
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
    if (available >= sizeof(*message)) break;
    if (GetTickCount() - start >= limitMs) return false;
    Sleep(10);
  }
  DWORD read = 0;
  return ReadFile(pipe, message, sizeof(*message), &read, nullptr) && read == sizeof(*message) && message->Tag == tag;
}

// The data pipe key in the Features a serving dispatcher of this version sends after its Hello;
// false for one of the documented format, whose data pipe is named without it.
bool ReadDataPipeKey(HANDLE pipe, DWORD* key) {
  JobPipeMessage features = {};
  if (!ReadTaggedMessage(pipe, QUILL_FEATURES_TAG, TakeOverFeaturesLimitMs, &features) || !(features.Value & QUILL_FEATURE_KEYED_DATA_PIPE))
    return false;
  *key = (features.Value >> QUILL_DATA_PIPE_KEY_SHIFT) & QUILL_DATA_PIPE_KEY_MASK;
  return true;
}

// Tells the dispatcher that served the pipe before us to stop.
void SendStopListening() {
  TakeOverConnection connection = {};
  if (TakeOverListening(&connection)) {
    RecordHeader header = {RECORD_STOP_LISTENING, 0};
    WriteOverlapped(connection.DataPipe, &header, sizeof(header), TakeOverConnectLimitMs);
    // Closed, neither flushed nor disconnected: what the serving dispatcher has not read yet stays
    // readable, and whoever serves the documented pipe can't hold this listener by never reading.
    CloseHandle(connection.DataPipe);
  }
  if (connection.JobPipe) CloseHandle(connection.JobPipe);
}

// The data pipe read through a buffer of its own: one ReadFile takes a header together with its
// payload, or several small records, instead of one call for each part.
struct PipeReader {
  HANDLE Pipe;
  BYTE* Buffer;
  DWORD Start;
  DWORD End;
  HANDLE Event;     // for the overlapped reads
  DWORD LimitMs;    // how long one read may wait for the writer
};
const DWORD PipeReaderSize = 2 * (sizeof(RecordHeader) + QUILL_MAX_PAYLOAD);

// Reads exactly size bytes unless the pipe fails first.
bool ReadFully(PipeReader* reader, BYTE* destination, DWORD size) {
  while (size > 0) {
    if (reader->Start == reader->End) {
      DWORD read = 0;
      if (!ReadWithin(reader->Pipe, reader->Event, reader->Buffer, PipeReaderSize, reader->LimitMs, &read)) return false;
      if (read == 0) return false;
      reader->Start = 0;
      reader->End = read;
    }
    DWORD part = reader->End - reader->Start < size ? reader->End - reader->Start : size;
    memcpy(destination, reader->Buffer + reader->Start, part);
    reader->Start += part;
    destination += part;
    size -= part;
  }
  return true;
}

// The payload buffer holds the payload and three more bytes, so that an OpenSpool title can always
// be terminated in place (two zero bytes, and a third for a title that ends in half a unit).
bool EnsurePayloadCapacity(JobSession* session, DWORD payloadLength) {
  if (session->PayloadCapacity >= payloadLength + 3) return true;
  if (session->Payload) LocalFree(session->Payload);
  session->PayloadCapacity = 0;
  session->Payload = static_cast<BYTE*>(LocalAlloc(LPTR, payloadLength + 256));
  if (!session->Payload) return false;
  session->PayloadCapacity = payloadLength + 256;
  return true;
}

// The outcome of a job for a writer that asked for it, on the job pipe it came through.
void SendJobResult(JobSession* session, DWORD result) {
  JobPipeMessage message = {result, QUILL_JOB_RESULT_TAG};
  WriteOverlapped(session->ListenPipe, &message, sizeof(message), HelloWriteLimitMs);
}

void RecordLoop(JobSession* session) {
  PipeReader reader = {session->DataPipe, static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, PipeReaderSize)), 0, 0,
                       CreateEventW(nullptr, TRUE, FALSE, nullptr), FirstRecordLimitMs};
  // Without a buffer the connection can't be followed: it ends like a broken one.
  if (!reader.Buffer || !reader.Event) {
    if (reader.Buffer) LocalFree(reader.Buffer);
    if (reader.Event) CloseHandle(reader.Event);
    return;
  }
  for (;;) {
    RecordHeader header = {};
    // A pipe that ends (the client closed it) or fails ends the loop.
    if (!ReadFully(&reader, reinterpret_cast<BYTE*>(&header), sizeof(header))) break;
    if (header.PayloadLength > 0) {
      if (!EnsurePayloadCapacity(session, header.PayloadLength)) break;
      // A record whose payload never fully arrives is not acted on; the pipe is broken anyway.
      if (!ReadFully(&reader, session->Payload, header.PayloadLength)) break;
    }
    // Once a record has come, the spooler's writer may pause as long as the job's source does; a
    // dispatcher taking the pipe over has nothing to say beyond its stop.
    if (session->TrustedServer) reader.LimitMs = INFINITE;
    // A server that is neither the spooler nor our own user is a quilltray of another logon
    // session (others are never read): it may only take the job pipe over.
    if (!session->TrustedServer && header.RecordType != RECORD_STOP_LISTENING) continue;
    switch (header.RecordType) {
      case RECORD_OPEN_SPOOL:
      case RECORD_CLOSE_SPOOL:
      case RECORD_SPOOL_DATA:
        HandleRecord(session, header.RecordType, header.PayloadLength);
        break;
      case RECORD_JOB_DONE_OPEN:
      case RECORD_JOB_DONE: {
        DWORD result = HandleRecord(session, header.RecordType, header.PayloadLength);
        if (session->WantsResults) SendJobResult(session, result);
        break;
      }
      case RECORD_SHOW_JOB_COUNT:
        // After a job that failed, its balloon says so; a count would replace it.
        if (!session->LastJobFailed) PostMessageW(MainWindow, UM_SHOW_JOB_COUNT, 0, 0);
        break;
      case RECORD_WANT_RESULTS: session->WantsResults = TRUE; break;
      case RECORD_STOP_LISTENING: PostMessageW(MainWindow, UM_STOP_LISTENING, 0, 0); break;
      case RECORD_EXIT: PostMessageW(MainWindow, UM_EXIT, 0, 0); break;
      default: break;
    }
  }
  LocalFree(reader.Buffer);
  CloseHandle(reader.Event);
}

// A job pipe a listener serves: the documented one, shared with the dispatchers of other logon
// sessions for the take-over, or the one of our own session, which nobody else may serve.
struct JobPipeEndpoint {
  const char* Name;
  SECURITY_ATTRIBUTES* Security;
  bool OwnName;               // its first instance must be ours
  bool KeepTrying;            // an instance that can't be made is tried again for ever
  HANDLE Stop;                // ends the listener when set; null: never
  volatile LONG* Running;     // the listener goes on while it is non-zero; null: always
};

// Remote clients are refused: nothing on another machine has business with a user's jobs. The
// documented pipe's descriptor still lets a dispatcher of another local user add instances during
// a take-over.
HANDLE CreateJobPipeInstance(const JobPipeEndpoint& endpoint, bool first) {
  return CreateNamedPipeA(endpoint.Name, PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
                          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, PIPE_UNLIMITED_INSTANCES,
                          QUILL_JOB_PIPE_BUFFER_SIZE, QUILL_JOB_PIPE_BUFFER_SIZE, 0, endpoint.Security);
}

// Waits until a client connects to the instance (true) or the connect fails or a stop is requested.
bool WaitForClient(HANDLE instance, OVERLAPPED* overlapped, HANDLE stop) {
  ResetEvent(overlapped->hEvent);
  if (ConnectNamedPipe(instance, overlapped)) return true;
  DWORD error = GetLastError();
  if (error == ERROR_PIPE_CONNECTED) return true;
  if (error != ERROR_IO_PENDING) return false;
  HANDLE events[2] = {overlapped->hEvent, stop};
  if (WaitForMultipleObjects(stop ? 2 : 1, events, FALSE, INFINITE) != WAIT_OBJECT_0) CancelIoEx(instance, overlapped);
  // The connect's own outcome decides: a client that came just as the stop did is still served.
  DWORD unused = 0;
  return GetOverlappedResult(instance, overlapped, &unused, TRUE) != FALSE;
}

// Gives an accepted client its connection thread. The thread starts suspended so that its handle
// is in the record before the thread can end and hand the record to the window thread.
void StartConnection(HANDLE instance, const char* pipeName) {
  ULONG client = 0;
  bool fromLocalSystem = JobPipeClientIsLocalSystem(instance, &client);
  // Whoever connects, no more than a bounded number of threads: a client past the limit is refused
  // at once (a writer of this version tries again within its own bound), and the spooler keeps a
  // reserve that nobody else can take.
  if (!AdmitsConnection(InterlockedIncrement(&LiveConnections) - 1, fromLocalSystem)) {
    InterlockedDecrement(&LiveConnections);
    DisconnectNamedPipe(instance);
    CloseHandle(instance);
    return;
  }
  JobSession* session = static_cast<JobSession*>(LocalAlloc(LPTR, sizeof(JobSession)));
  if (!session) {
    InterlockedDecrement(&LiveConnections);
    // No record to serve it with: the client sees its pipe closed.
    DisconnectNamedPipe(instance);
    CloseHandle(instance);
    return;
  }
  session->ListenPipe = instance;
  session->PipeName = pipeName;
  session->ClientProcessId = client;
  session->Thread = CreateThread(nullptr, QUILL_CONNECTION_STACK_SIZE, ConnectionThread, session, CREATE_SUSPENDED, nullptr);
  if (session->Thread && ResumeThread(session->Thread) != static_cast<DWORD>(-1)) return;
  if (session->Thread) TerminateThread(session->Thread, 0);  // it never ran
  InterlockedDecrement(&LiveConnections);
  ReleaseJobSession(session);
  LocalFree(session);
}

bool KeepsRunning(const JobPipeEndpoint& endpoint) { return !endpoint.Running || *endpoint.Running; }

// Accepts clients on the endpoint until it is stopped or no instance can be made.
void ServeJobPipe(const JobPipeEndpoint& endpoint) {
  OVERLAPPED overlapped = {};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!overlapped.hEvent) return;
  HANDLE instance = INVALID_HANDLE_VALUE;
  int failedCreates = 0;
  while (KeepsRunning(endpoint)) {
    if (instance == INVALID_HANDLE_VALUE) {
      // With no instance of ours left, the name is free for anyone: ours must be the first again.
      instance = CreateJobPipeInstance(endpoint, endpoint.OwnName);
      if (instance == INVALID_HANDLE_VALUE) {
        if (!endpoint.KeepTrying && ++failedCreates == CreateInstanceAttempts) break;
        DWORD pause = endpoint.KeepTrying ? SessionPipeRetryMs : CreateInstancePauseMs;
        if (endpoint.Stop) WaitForSingleObject(endpoint.Stop, pause);
        else Sleep(pause);
        continue;
      }
      failedCreates = 0;
    }
    if (!WaitForClient(instance, &overlapped, endpoint.Stop)) {
      // A client that left before it was served, or a stop: the instance waits for the next one.
      DisconnectNamedPipe(instance);
      continue;
    }
    // The next instance comes before the connected one is handed off, so that the name always
    // has an instance of ours.
    HANDLE next = CreateJobPipeInstance(endpoint, false);
    StartConnection(instance, endpoint.Name);
    instance = next;
  }
  if (instance != INVALID_HANDLE_VALUE) CloseHandle(instance);
  CloseHandle(overlapped.hEvent);
}

// The job pipe of this logon session: the port monitor finds the dispatcher of the job's owner
// here, whichever dispatcher serves the documented pipe. Served for the life of the process: while
// someone else holds its name (a squatter who made it first), it is tried again and again.
DWORD WINAPI SessionListenLoop(LPVOID) {
  if (!OwnSessionPipeName(SessionPipeName, sizeof(SessionPipeName))) return 0;
  SECURITY_ATTRIBUTES* attributes = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  // Never with default security: the pipe admits our own user and SYSTEM, or nobody.
  if (!BuildSessionPipeSecurity(&attributes, &descriptor)) return 0;
  JobPipeEndpoint endpoint = {SessionPipeName, attributes, true, true, nullptr, nullptr};
  ServeJobPipe(endpoint);
  LocalFree(descriptor);
  LocalFree(attributes);
  return 0;
}

}  // namespace

HANDLE StartSessionListener() { return CreateThread(nullptr, 0, SessionListenLoop, nullptr, 0, nullptr); }

HANDLE StartListener(HWND window) {
  if (!StopEvent) StopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // A listener that could not be stopped is not started.
  if (!StopEvent) return nullptr;
  ResetEvent(StopEvent);
  Listening = 1;
  return CreateThread(nullptr, 0, ListenLoop, window, 0, nullptr);
}

bool StopListener() {
  Listening = 0;
  return StopEvent && SetEvent(StopEvent);
}

bool TakeOverListening(TakeOverConnection* connection) {
  DWORD busyStart = GetTickCount();
  for (;;) {
    // Identification only: whoever serves the documented pipe (anyone may add an instance) can't
    // act as our user.
    connection->JobPipe = CreateFileA(QUILL_JOB_PIPE_NAME, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (connection->JobPipe != INVALID_HANDLE_VALUE) break;
    connection->JobPipe = nullptr;
    if (GetLastError() != ERROR_PIPE_BUSY) return false;
    if (GetTickCount() - busyStart > TakeOverBusyLimitMs) return false;
    if (!WaitNamedPipeA(QUILL_JOB_PIPE_NAME, 1000)) Sleep(500);
  }
  bool available = false;
  for (int poll = 0; poll < 10 && !available; ++poll) {
    DWORD bytes = 0;
    BYTE peek[8];
    if (PeekNamedPipe(connection->JobPipe, peek, sizeof(peek), nullptr, &bytes, nullptr) && bytes >= 8) {
      available = true;
    } else {
      Sleep(100);
    }
  }
  if (!available) return false;
  Hello hello = {};
  DWORD read = 0;
  if (!ReadFile(connection->JobPipe, &hello, sizeof(hello), &read, nullptr) || read != sizeof(hello) || hello.Tag != QUILL_HELLO_TAG) return false;
  char name[QUILL_PIPE_NAME_CHARS];
  DWORD key = 0;
  if (ReadDataPipeKey(connection->JobPipe, &key)) {
    _snprintf(name, sizeof(name), QUILL_KEYED_DATA_PIPE_FORMAT, QUILL_JOB_PIPE_NAME, static_cast<int>(hello.ConnectionNumber),
              static_cast<unsigned long>(key));
    name[sizeof(name) - 1] = '\0';
  } else {
    DataPipeName(name, sizeof(name), QUILL_JOB_PIPE_NAME, hello.ConnectionNumber);
  }
  // Overlapped, so that the wait for the serving dispatcher has an end; the first instance of its
  // name, so that nobody who made it before us gets our stop.
  HANDLE pipe = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                 QUILL_TAKEOVER_PIPE_BUFFER_SIZE, QUILL_TAKEOVER_PIPE_BUFFER_SIZE, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bool connected = false;
  if (overlapped.hEvent) {
    if (ConnectNamedPipe(pipe, &overlapped)) {
      connected = true;
    } else if (GetLastError() == ERROR_PIPE_CONNECTED) {
      connected = true;
    } else if (GetLastError() == ERROR_IO_PENDING) {
      DWORD unused = 0;
      if (WaitForSingleObject(overlapped.hEvent, TakeOverConnectLimitMs) == WAIT_OBJECT_0) {
        connected = GetOverlappedResult(pipe, &overlapped, &unused, FALSE) != FALSE;
      } else {
        CancelIoEx(pipe, &overlapped);
        GetOverlappedResult(pipe, &overlapped, &unused, TRUE);
      }
    }
    CloseHandle(overlapped.hEvent);
  }
  if (!connected) {
    CloseHandle(pipe);
    return false;
  }
  connection->DataPipe = pipe;
  return true;
}

DWORD WINAPI ListenLoop(LPVOID parameter) {
  HWND window = static_cast<HWND>(parameter);
  SendStopListening();
  SECURITY_ATTRIBUTES* attributes = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  BuildPipeSecurity(&attributes, &descriptor);
  JobPipeEndpoint endpoint = {QUILL_JOB_PIPE_NAME, attributes, false, false, StopEvent, &Listening};
  ServeJobPipe(endpoint);
  if (descriptor) LocalFree(descriptor);
  if (attributes) LocalFree(attributes);
  // Also when the listener gives up on its own: the window then shows that nothing listens and a
  // click or a session connect starts a new listener.
  PostMessageW(window, UM_LISTENER_STOPPED, 0, 0);
  return 0;
}

DWORD WINAPI ConnectionThread(LPVOID parameter) {
  JobSession* session = static_cast<JobSession*>(parameter);
  PostMessageW(MainWindow, UM_CONNECTION_OPENED, 0, reinterpret_cast<LPARAM>(session));
  ServeConnection(session);
  PostMessageW(MainWindow, UM_CONNECTION_CLOSED, 0, reinterpret_cast<LPARAM>(session));
  InterlockedDecrement(&LiveConnections);
  return 1;
}

void ServeConnection(JobSession* session) {
  DWORD number = static_cast<DWORD>(InterlockedIncrement(&ConnectionCounter));
  Hello hello = {number, QUILL_HELLO_TAG};
  if (!WriteOverlapped(session->ListenPipe, &hello, sizeof(hello), HelloWriteLimitMs)) return;
  // A message of its own, after the Hello and before the data pipe is opened: a writer of this
  // version takes it at once, any other never reads it. Its key names the data pipe, so that
  // nobody can make that name before the writer does.
  DWORD key = NewDataPipeKey();
  JobPipeMessage features = {QUILL_FEATURE_JOB_RESULTS | QUILL_FEATURE_KEYED_DATA_PIPE | (key << QUILL_DATA_PIPE_KEY_SHIFT),
                             QUILL_FEATURES_TAG};
  WriteOverlapped(session->ListenPipe, &features, sizeof(features), HelloWriteLimitMs);
  ServerStanding standing = SERVER_STRANGER;
  HANDLE pipe = OpenConnectionDataPipe(session->PipeName ? session->PipeName : QUILL_JOB_PIPE_NAME, number, key,
                                       session->ClientProcessId, &standing);
  // A return at this stage touches no spool file.
  if (pipe == INVALID_HANDLE_VALUE) return;
  session->DataPipe = pipe;
  session->TrustedServer = standing == SERVER_TRUSTED;
  RecordLoop(session);
  FinishConnection(session);
}

void ReleaseJobSession(JobSession* session) {
  if (session->DataPipe) {
    CloseHandle(session->DataPipe);
    session->DataPipe = nullptr;
  }
  if (session->ListenPipe) {
    // No FlushFileBuffers: it would wait, on the window thread, for a client that never reads its
    // Hello. A client that opened its data pipe has read the Hello long ago; for any other the
    // connection is over anyway.
    DisconnectNamedPipe(session->ListenPipe);
    CloseHandle(session->ListenPipe);
    session->ListenPipe = nullptr;
  }
  if (session->Thread) CloseHandle(session->Thread);
  session->Thread = nullptr;
  if (session->Payload) LocalFree(session->Payload);
  session->Payload = nullptr;
  session->PayloadCapacity = 0;
}
