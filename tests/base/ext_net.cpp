// TCP sockets over 127.0.0.1 with ephemeral ports: a server that accepts and
// multiplexes, line and block reads, a send the system takes in parts, the 64-socket
// set, callbacks and error codes. Every wait here has data or a connection already
// pending, or a receive time-out, so nothing blocks for long.
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/log.h"
#include "base/iconv.h"
#include "base/info.h"
#include "base/lang.h"
#include "base/netzwerk.h"
#include "base/xml.h"
#include "ext_util.h"

namespace {

class ExtNet : public ext::BaseTest {
 protected:
  SYS_Socket_t server;

  void Listen() {
    ASSERT_EQ(SYS_SocketNew(&server, "127.0.0.1", 0), 0);
    ASSERT_EQ(SYS_SocketListen(&server), 0);
    ASSERT_GT(server.port, 0);
    ASSERT_EQ(server.set.count, 1);
  }

  // A client connected to the server, and the server's record of that connection.
  SYS_Socket_p Connect(SYS_Socket_t *client) {
    EXPECT_EQ(SYS_SocketNew(client, "127.0.0.1", server.port), 0);
    EXPECT_EQ(SYS_SocketConnect(client), 0);
    SYS_Socket_p in = nullptr;
    EXPECT_EQ(SYS_SocketAccept(&server, &in), 0);
    return in;
  }
};

// Runs fn in a child process, in a network namespace of its own where the system
// allows one: whatever the resolver tries, no query leaves the machine (it fails
// instead). Returns what fn returned.
std::string WithoutNetwork(std::string (*fn)()) {
  int fds[2];
  if (pipe(fds) != 0) return "<no pipe>";
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    (void)unshare(CLONE_NEWNET);  // refused without privileges; the names need no query anyway
    const std::string out = fn();
    _exit(write(fds[1], out.data(), out.size()) == (ssize_t)out.size() ? 0 : 1);
  }
  close(fds[1]);
  std::string out;
  char buffer[256];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, (size_t)n);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? out : "<child failed>";
}

// Each answer comes from the resolver without asking a name server: a dotted
// address, a name in the hosts file, and a name with an empty label, which the
// resolver refuses before it would build a query.
std::string ResolveAnswers() {
  std::string out;
  for (const char *host : {"127.0.0.1", "localhost", "bad..name"}) {
    char *a = SYS_SocketResolve(host);
    out += a ? std::string(a).substr(0, 4) : "error " + std::to_string(errGetLastError());
    out += ";";
    SYS_MemFree(&a);
  }
  SYS_Socket_t s;
  out += SYS_SocketNew(&s, "bad..name", 80) == -1 ? "error " + std::to_string(errGetLastError()) : "made";
  out += s.host == nullptr ? ";no host" : ";host";
  return out;
}

TEST_F(ExtNet, Resolve) {
  EXPECT_EQ(WithoutNetwork(ResolveAnswers), "127.;127.;error 2012;error 2004;no host");
  char *a = SYS_SocketResolve("127.0.0.1");
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a, "127.0.0.1");
  SYS_MemFree(&a);
  EXPECT_EQ(SYS_SocketResolve(nullptr), nullptr);
  EXPECT_EQ(errGetLastError(), 10);

  SYS_Socket_t s;
  EXPECT_EQ(SYS_SocketNew(&s, "127.0.0.1", 70000), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_SocketNew(nullptr, "127.0.0.1", 1), -1);
  EXPECT_EQ(errGetLastError(), 10);
}

TEST_F(ExtNet, ServeLinesAndBlocks) {
  ext::Tracked before = Count();
  Listen();
  SYS_Socket_t client;
  SYS_Socket_p in = Connect(&client);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->ready, 1);
  EXPECT_EQ(in->connected, 1);
  EXPECT_EQ(in->server, &server);
  EXPECT_STREQ(in->host, "127.0.0.1");
  EXPECT_EQ(server.set.count, 2);
  EXPECT_EQ(server.set.sockets[1], in->socket);
  EXPECT_STREQ(server.host, "127.0.0.1");  // the copy did not take the server's text

  const char msg[] = "hello\nworld\nrest";
  ASSERT_EQ(SYS_SocketSend(&client, msg, (int32_t)strlen(msg)), 0);
  char line[64];
  EXPECT_EQ(SYS_SocketFGets(in, line, sizeof line), 0);
  EXPECT_STREQ(line, "hello\n");
  EXPECT_EQ(SYS_SocketFGets(in, line, sizeof line), 0);
  EXPECT_STREQ(line, "world\n");
  char block[16] = {};
  EXPECT_EQ(SYS_SocketRead(in, block, sizeof block), 4);
  EXPECT_EQ(std::string(block, 4), "rest");

  // Data on a watched connection: the next accept describes that connection.
  ASSERT_EQ(SYS_SocketSend(&client, "x", 1), 0);
  SYS_Socket_p again = nullptr;
  ASSERT_EQ(SYS_SocketAccept(&server, &again), 0);
  EXPECT_EQ(again->socket, in->socket);
  EXPECT_EQ(again->ready, 0);
  EXPECT_EQ(SYS_SocketRead(again, block, sizeof block), 1);
  SYS_MemFree(&again->host);
  SYS_MemFree(&again);

  // The peer closes: the connection turns readable, reads 0, and its close
  // takes it out of the server's set.
  SYS_SocketClose(&client);
  ASSERT_EQ(SYS_SocketAccept(&server, &again), 0);
  EXPECT_EQ(again->socket, in->socket);
  EXPECT_EQ(SYS_SocketRead(again, block, sizeof block), 0);
  EXPECT_EQ(SYS_SocketFGets(in, line, sizeof line), -1);
  EXPECT_EQ(errGetLastError(), 2011);
  SYS_MemFree(&again->host);
  SYS_MemFree(&again);
  EXPECT_EQ(SYS_SocketClose(in), 0);
  EXPECT_EQ(server.set.count, 1);
  SYS_MemFree(&in);
  SYS_SocketClose(&server);
  EXPECT_EQ(Count(), before);
}

std::atomic<int> gInterrupts;

// A send blocked on a full connection returns the part already queued when a signal
// reaches it: the layer must then send the rest, not the start again. The reader
// holds off until the sender is stuck (the bytes waiting at the receiver stop
// growing), interrupts it, then takes the whole stream and compares every byte.
TEST_F(ExtNet, SendInterruptedPartWayDeliversEveryByteInOrder) {
  Listen();
  // Small buffers both ways (the accepted socket takes the listener's), so the
  // stream below is many times what the connection holds while nobody reads.
  const int small = 16384;
  ASSERT_EQ(setsockopt(server.socket, SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
  SYS_Socket_t client;
  SYS_Socket_p in = Connect(&client);
  ASSERT_NE(in, nullptr);
  ASSERT_EQ(setsockopt(client.socket, SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);
  const timeval limit{10, 0};  // a sender that stops early fails the test, not hangs it
  ASSERT_EQ(setsockopt(in->socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit), 0);

  // Each 4-byte word differs from every other, so a repeated or skipped stretch
  // shows at its first byte.
  std::vector<uint32_t> words(1 << 18);
  for (uint32_t i = 0; i < words.size(); i++) words[i] = i * 2654435761u;
  const size_t total = words.size() * sizeof(uint32_t);

  struct sigaction wake {}, old {};
  wake.sa_handler = [](int) { gInterrupts++; };
  sigemptyset(&wake.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &wake, &old), 0);
  gInterrupts = 0;
  std::atomic<bool> done{false};
  int result = -2;
  std::thread sender([&] {
    result = SYS_SocketSend(&client, words.data(), (int32_t)total);
    done = true;
  });
  // Shutting both ends down wakes a sender still blocked (its send fails), so a reader
  // that stops early, or an assertion that returns, fails the test instead of leaving
  // the join waiting for ever. Once every byte was read the send has nothing left to do.
  struct StopSender {
    std::thread &thread;
    int ends[2];
    void operator()() {
      for (int end : ends) shutdown(end, SHUT_RDWR);
      if (thread.joinable()) thread.join();
    }
    ~StopSender() { (*this)(); }
  } stopSender{sender, {in->socket, client.socket}};

  int queued = 0, steady = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (steady < 10 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    int now = 0;
    if (ioctl(in->socket, FIONREAD, &now) != 0) break;
    steady = now > 0 && now == queued ? steady + 1 : 0;
    queued = now;
  }
  EXPECT_EQ(steady, 10) << "the receive queue never settled";
  EXPECT_FALSE(done) << "the whole buffer went out with nobody reading";
  EXPECT_EQ(pthread_kill(sender.native_handle(), SIGUSR1), 0);

  std::vector<uint8_t> got;
  got.reserve(total);
  std::vector<uint8_t> chunk(65536);
  while (got.size() < total) {
    const int32_t n = SYS_SocketRead(in, chunk.data(), (int32_t)chunk.size());
    if (n <= 0) break;
    got.insert(got.end(), chunk.begin(), chunk.begin() + n);
  }
  stopSender();
  sigaction(SIGUSR1, &old, nullptr);
  EXPECT_EQ(gInterrupts, 1);
  EXPECT_EQ(result, 0);
  ASSERT_EQ(got.size(), total);
  const uint8_t *want = reinterpret_cast<const uint8_t *>(words.data());
  const size_t right = (size_t)(std::mismatch(got.begin(), got.end(), want).first - got.begin());
  EXPECT_EQ(right, total) << "bytes in order before the first wrong one (" << queued << " were queued at the signal)";

  SYS_SocketClose(in);
  SYS_MemFree(&in);
  SYS_SocketClose(&client);
  SYS_SocketClose(&server);
}

TEST_F(ExtNet, LineLongerThanTheBuffer) {
  Listen();
  SYS_Socket_t client;
  SYS_Socket_p in = Connect(&client);
  ASSERT_NE(in, nullptr);
  ASSERT_EQ(SYS_SocketSend(&client, "ab\n", 3), 0);
  char buf[2] = {'?', '?'};
  EXPECT_EQ(SYS_SocketFGets(in, buf, 2), -1);
  EXPECT_EQ(errGetLastError(), 2010);
  EXPECT_STREQ(buf, "a");
  EXPECT_EQ(SYS_SocketFGets(in, buf, 1), -1);  // room for the terminator only
  EXPECT_EQ(errGetLastError(), 2010);
  EXPECT_STREQ(buf, "");
  char rest[8];
  EXPECT_EQ(SYS_SocketFGets(in, rest, sizeof rest), 0);
  EXPECT_STREQ(rest, "b\n");
  EXPECT_EQ(SYS_SocketFGets(in, nullptr, 8), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_SocketFGets(in, rest, 0), -1);
  EXPECT_EQ(errGetLastError(), 10);
  SYS_SocketClose(in);
  SYS_MemFree(&in);
  SYS_SocketClose(&client);
  SYS_SocketClose(&server);
}

TEST_F(ExtNet, SetWatchesAtMost64Sockets) {
  Listen();
  std::vector<SYS_Socket_t> clients(65);
  std::vector<SYS_Socket_p> ins;
  for (auto &c : clients) {
    SYS_Socket_p in = Connect(&c);
    ASSERT_NE(in, nullptr);
    ins.push_back(in);
  }
  EXPECT_EQ(server.set.count, 64);  // the listening socket and 63 connections
  for (int i = 0; i < 63; i++) EXPECT_EQ(server.set.sockets[i + 1], ins[i]->socket);
  // The unwatched ones still work.
  ASSERT_EQ(SYS_SocketSend(&clients[64], "z\n", 2), 0);
  char line[8];
  EXPECT_EQ(SYS_SocketFGets(ins[64], line, sizeof line), 0);

  // Clearing a connection frees its slot; later entries move down.
  platSocket_t second = ins[1]->socket;
  EXPECT_EQ(SYS_SocketClear(ins[0]), 0);
  EXPECT_EQ(server.set.count, 63);
  EXPECT_EQ(server.set.sockets[1], second);
  EXPECT_EQ(SYS_SocketClear(nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
  for (size_t i = 0; i < ins.size(); i++) {
    SYS_SocketClose(ins[i]);
    SYS_MemFree(&ins[i]);
    SYS_SocketClose(&clients[i]);
  }
  EXPECT_EQ(server.set.count, 1);
  SYS_SocketClose(&server);
}

SYS_Socket_p gClosing;
bool gOpenAtDisconnect;
std::string gError;
int gConnecting, gConnected;

TEST_F(ExtNet, CallbacksAndFailures) {
  gConnecting = gConnected = 0;  // counted afresh when the test is repeated
  gClosing = nullptr;
  gOpenAtDisconnect = false;
  Listen();
  SYS_Socket_t client;
  ASSERT_EQ(SYS_SocketNew(&client, "127.0.0.1", server.port), 0);
  EXPECT_EQ(SYS_SocketSend(&client, "x", 1), -1);  // not connected yet
  EXPECT_EQ(errGetLastError(), 2000);
  SYS_SocketSetConnectingCB(&client, [](SYS_Socket_p) { gConnecting++; });
  SYS_SocketSetConnectCB(&client, [](SYS_Socket_p) { gConnected++; });
  SYS_SocketSetDisconnectCB(&client, [](SYS_Socket_p s, int32_t) {
    gClosing = s;
    gOpenAtDisconnect = s->connected && fcntl(s->socket, F_GETFD) != -1;
  });
  EXPECT_EQ(SYS_SocketSetErrorCB(&client, nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
  ASSERT_EQ(SYS_SocketConnect(&client), 0);
  EXPECT_EQ(SYS_SocketGetStatus(), 0);
  EXPECT_EQ(gConnecting, 1);
  EXPECT_EQ(gConnected, 1);
  EXPECT_EQ(SYS_SocketSend(&client, "x", 0), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_SocketSend(&client, nullptr, 1), -1);
  EXPECT_EQ(errGetLastError(), 10);

  platSocket_t fd = client.socket;
  EXPECT_EQ(SYS_SocketClose(&client), 0);
  EXPECT_EQ(gClosing, &client);
  EXPECT_TRUE(gOpenAtDisconnect);  // the callback runs before the shutdown
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);
  EXPECT_EQ(client.connected, 0);
  EXPECT_EQ(client.host, nullptr);
  EXPECT_EQ(SYS_SocketClose(&client), -1);  // not connected: error 10, closed all the same
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_SocketClose(nullptr), -1);

  // A second server on the same port cannot bind.
  SYS_Socket_t other;
  ASSERT_EQ(SYS_SocketNew(&other, "127.0.0.1", server.port), 0);
  EXPECT_EQ(SYS_SocketListen(&other), -1);
  EXPECT_EQ(errGetLastError(), 2006);
  EXPECT_EQ(other.socket, PLAT_NO_SOCKET);
  SYS_MemFree(&other.host);

  // Nobody listens any more: the connect fails with the error callback and status.
  int port = server.port;
  SYS_SocketClose(&server);
  SYS_Socket_t lost;
  ASSERT_EQ(SYS_SocketNew(&lost, "127.0.0.1", port), 0);
  SYS_SocketSetErrorCB(&lost, [](SYS_Socket_p, const char *m) { gError = m; });
  EXPECT_EQ(SYS_SocketConnect(&lost), -1);
  EXPECT_EQ(errGetLastError(), 2002);
  EXPECT_NE(SYS_SocketGetStatus(), 0);
  EXPECT_EQ(gError.rfind("connect error: ", 0), 0u) << gError;
  EXPECT_EQ(lost.socket, PLAT_NO_SOCKET);
  EXPECT_EQ(lost.connected, 0);
  SYS_MemFree(&lost.host);

  SYS_Socket_p out = (SYS_Socket_p)1;
  EXPECT_EQ(SYS_SocketAccept(&server, &out), -1);  // closed server: refused, nothing made
  EXPECT_EQ(errGetLastError(), 2008);
  EXPECT_EQ(out, nullptr);
}

}  // namespace

namespace {

// Modules reach this layer's functions by name.
TEST(ExtSymbols, ReachableByName) {
  struct Case {
    const char *name;
    void *function;
  } cases[] = {
      {"SYS_DetectSystem", (void *)&SYS_DetectSystem}, {"SYS_GetCPU", (void *)&SYS_GetCPU},
      {"SYS_GetString", (void *)&SYS_GetString},       {"SYS_IConvToUCS", (void *)&SYS_IConvToUCS},
      {"SYS_LangSetFile", (void *)&SYS_LangSetFile},   {"SYS_LangDestroy", (void *)&SYS_LangDestroy},
      {"SYS_SocketResolve", (void *)&SYS_SocketResolve}, {"SYS_SocketFGets", (void *)&SYS_SocketFGets},
      {"SYS_XMLOpen", (void *)&SYS_XMLOpen},           {"SYS_XMLParse", (void *)&SYS_XMLParse},
  };
  for (const Case &c : cases) EXPECT_EQ(SYS_SymbolLookup(c.name), c.function) << c.name;
  EXPECT_EQ(SYS_SymbolLookup("SYS_SocketSetErrorCB"), nullptr);  // the setters are not listed
  EXPECT_EQ(SYS_SymbolLookup("sys_xmlparse"), nullptr);
}

}  // namespace
