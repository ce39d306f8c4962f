// The receiver on Windows: a Winsock socket whose arrivals set an event
// (WSAEventSelect, which also makes it non-blocking), a reader thread that
// waits on that event and on a stop event (WSAWaitForMultipleEvents), and
// reads in batches with recvfrom until the socket runs dry.
#include "netcore/ReceiverState.h"
#include "netcore/SystemReason.h"
#include "netcore/win32/Winsock.h"

#include <lanchat/BuildConfig.h>

#include <mswsock.h>

#include <memory>
#include <thread>

namespace {

constexpr std::size_t kMaxPayload = lanchat::config::kMaxDatagramSize;
// As on Linux: a burst waits in it while the reader is descheduled.
constexpr int kReceiveBuffer = 32 << 20;

// The thread's name, where the system has SetThreadDescription (Windows 10
// 1607 and later, Wine): looked up, so that the program starts elsewhere.
void NameThisThread(const char* name) {
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return;
  const auto set = reinterpret_cast<SetDescription>( // NOLINT: a function looked up by name
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")));
  if (set == nullptr) return;
  wchar_t wide[64] = {};
  if (MultiByteToWideChar(CP_UTF8, 0, name, -1, wide, 64) > 0) set(GetCurrentThread(), wide);
}

// A socket closed when it goes out of scope.
class Socket {
public:
  Socket() = default;
  explicit Socket(SOCKET socket) : socket_(socket) {}
  ~Socket() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  [[nodiscard]] SOCKET get() const { return socket_; }

private:
  SOCKET socket_ = INVALID_SOCKET;
};

// An event handle closed when it goes out of scope.
class Event {
public:
  Event() : event_(WSACreateEvent()) {}
  ~Event() {
    if (event_ != WSA_INVALID_EVENT) WSACloseEvent(event_);
  }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  [[nodiscard]] WSAEVENT get() const { return event_; }

private:
  WSAEVENT event_;
};

// A UDP socket bound to `port` on every address, shared with any other
// socket on the host that asks the same, allowed to send to a broadcast
// address, with a large receive buffer. INVALID_SOCKET and the Winsock
// error set when it cannot.
SOCKET OpenListeningSocket(int port) {
  const SOCKET s =
      WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return s;
  const BOOL on = TRUE;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
  setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
  setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&kReceiveBuffer),
             sizeof kReceiveBuffer);
  // An ICMP "port unreachable" for a datagram sent earlier would otherwise
  // fail the next recvfrom with WSAECONNRESET.
  BOOL reportReset = FALSE;
  DWORD returned = 0;
  WSAIoctl(s, SIO_UDP_CONNRESET, &reportReset, sizeof reportReset, nullptr, 0, &returned, nullptr,
           nullptr);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = WSAGetLastError();
    closesocket(s);
    WSASetLastError(error);
    return INVALID_SOCKET;
  }
  return s;
}

} // namespace

struct Receiver::System {
  System(int port, State& shared) : state(shared) {
    if (const int error = lanchat::win32::StartWinsock(); error != 0)
      throw ReceiverError("Impossible de préparer la réception UDP : " + SystemReason(error) + ".",
                          error);
    socket = std::make_unique<Socket>(OpenListeningSocket(port));
    if (socket->get() == INVALID_SOCKET) {
      const int error = WSAGetLastError();
      throw ReceiverError("Impossible d'écouter sur le port UDP " + std::to_string(port) + " : " +
                              SystemReason(error) + ".",
                          error);
    }
    if (arrived.get() == WSA_INVALID_EVENT || wake.get() == WSA_INVALID_EVENT ||
        WSAEventSelect(socket->get(), arrived.get(), FD_READ) != 0) {
      const int error = WSAGetLastError();
      throw ReceiverError("Impossible de préparer la réception UDP : " + SystemReason(error) + ".",
                          error);
    }
    reader = std::thread([this] { ReadLoop(); });
  }
  ~System() {
    state.stop.store(true, std::memory_order_release);
    WSASetEvent(wake.get());
    if (reader.joinable()) reader.join();
  }
  System(const System&) = delete;
  System& operator=(const System&) = delete;

  void ReadLoop();

  State& state;
  std::unique_ptr<Socket> socket;
  Event arrived; // set by Winsock when datagrams wait
  Event wake;    // set to stop the reader
  std::thread reader;
};

// The reader thread: takes datagrams from the socket in batches as fast as
// they come and hands them to the shared part. It looks for the stop after
// every batch, so a flood that never lets the socket run dry cannot hold it.
// It keeps the normal priority, the window's.
void Receiver::System::ReadLoop() {
  NameThisThread(kReaderName);
  state.admitted.reserve(kReadBatch);
  const auto buffers =
      std::make_unique_for_overwrite<char[]>(std::size_t{kReadBatch} * (kMaxPayload + 1));
  sockaddr_in senders[kReadBatch];
  State::Arrival arrivals[kReadBatch];
  const WSAEVENT events[2] = {wake.get(), arrived.get()};
  while (!state.stop.load(std::memory_order_acquire)) {
    const DWORD woke = WSAWaitForMultipleEvents(2, events, FALSE, WSA_INFINITE, FALSE);
    if (woke == WSA_WAIT_EVENT_0 || woke == WSA_WAIT_FAILED) return;
    WSANETWORKEVENTS happened{};
    WSAEnumNetworkEvents(socket->get(), arrived.get(), &happened); // resets the event
    bool dry = false;
    while (!dry && !state.stop.load(std::memory_order_acquire)) {
      unsigned count = 0;
      while (count < kReadBatch) {
        char* buffer = buffers.get() + std::size_t{count} * (kMaxPayload + 1);
        int fromLength = sizeof senders[count];
        const int got = recvfrom(socket->get(), buffer, static_cast<int>(kMaxPayload + 1), 0,
                                 reinterpret_cast<sockaddr*>(&senders[count]), &fromLength);
        if (got < 0) {
          const int error = WSAGetLastError();
          // A datagram too long for the buffer, or a reset an ICMP message
          // left: that one is lost, the next may be read.
          if (error == WSAEMSGSIZE || error == WSAECONNRESET) continue;
          dry = true; // WSAEWOULDBLOCK, or the socket is gone
          break;
        }
        const std::size_t size = std::min<std::size_t>(static_cast<std::size_t>(got), kMaxPayload);
        arrivals[count] = {
            {buffer, size}, senders[count].sin_addr.s_addr, ntohs(senders[count].sin_port)};
        ++count;
      }
      if (count > 0) state.Received(arrivals, count);
      if (count < kReadBatch) break;
    }
  }
}

void Receiver::SystemGone::operator()(System* system) const { delete system; }

std::unique_ptr<Receiver::System, Receiver::SystemGone> StartReceiving(int port,
                                                                       Receiver::State& state) {
  return std::unique_ptr<Receiver::System, Receiver::SystemGone>(new Receiver::System(port, state));
}

std::optional<std::string> SendFrom(Receiver::System& system, const std::string& host, int port,
                                    std::string_view bytes) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<u_short>(port));
  if (inet_pton(AF_INET, host.c_str(), &to.sin_addr) != 1) return "ce n'est pas une adresse IPv4";
  // The system's reason is reported as it gives it.
  const int sent = sendto(system.socket->get(), bytes.data(), static_cast<int>(bytes.size()), 0,
                          reinterpret_cast<const sockaddr*>(&to), sizeof to);
  if (sent == SOCKET_ERROR) return SystemReason(WSAGetLastError());
  if (static_cast<std::size_t>(sent) != bytes.size()) return "datagramme tronqué";
  return std::nullopt;
}
