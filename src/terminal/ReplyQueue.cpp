// The reply ring: handlers queue their texts with the port of the command
// they answer; the housekeeping tick and the LAN thread send them in order.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "core/Main.h"
#include "core/Mutex.h"
#include "core/ShareMem.h"
#include "terminal/ListenToPc.h"

Send2PcRec *send2PCarray = nullptr;

namespace {

// The port of the command being executed. Per thread: the listener loop
// and the LAN thread run commands at the same time, and each reply must go
// back where its own command came from.
thread_local int t_replyPort = PORT_NONE;

int Next(int i) { return i >= SEND2PC_SLOTS - 1 ? 0 : i + 1; }

int Index(int32_t v) { return v >= 0 && v < SEND2PC_SLOTS ? int(v) : 0; }

} // namespace

// The LAN socket is private to the terminal process (set by its LAN
// thread); the housekeeping process never has one.
std::atomic<int> g_iLanSocket{-1};
// Set in the process that runs the LAN thread.
std::atomic<bool> g_bLanOwner{false};

int LanSocket() { return g_iLanSocket.load(); }
int CurrentReplyPort() { return t_replyPort; }
void SetCurrentReplyPort(int port) { t_replyPort = port; }

int PrePareSend2PcLen(const char *text, int len)
{
    if (send2PCarray == nullptr || text == nullptr)
        return 0;
    if (len < 0)
        len = 0;
    if (len > SEND2PC_LEN)
        len = SEND2PC_LEN;
    MutexSend2PClock();
    Send2PcRec &r = *send2PCarray;
    int w = Next(Index(r.WriteIdx));
    r.WriteIdx = w;
    r.Len[w] = len;
    std::memcpy(r.Text[w], text, std::size_t(len));
    r.Ready[w] = 1;
    r.Dest[w] = t_replyPort;
    MutexSend2PCUnlock();
    return 0;
}

int PrePareSend2Pc(const char *text)
{
    if (text == nullptr)
        return 0;
    return PrePareSend2PcLen(text, int(strnlen(text, SEND2PC_LEN)));
}

int Send2PcPending()
{
    if (send2PCarray == nullptr)
        return 0;
    int w = Index(send2PCarray->WriteIdx);
    int r = Index(send2PCarray->ReadIdx);
    return (w - r + SEND2PC_SLOTS) % SEND2PC_SLOTS;
}

int Send2Pc()
{
    if (send2PCarray == nullptr)
        return 0;
    MutexSend2PClock();
    Send2PcRec &q = *send2PCarray;
    int r = Index(q.ReadIdx);
    if (r != Index(q.WriteIdx)) {
        int s = Next(r);
        int dest = q.Dest[s];
        int fd = -1;
        if (dest == PORT_LAN) {
            fd = LanSocket();
            if (!g_bLanOwner.load() && q.Ready[s] == 1) {
                // Only the terminal process holds the LAN socket: leave the
                // text for its LAN thread instead of losing it here.
                MutexSend2PCUnlock();
                return 0;
            }
        } else if (dest >= COM0 && dest <= COM4) {
            fd = PortFd(dest);
        }
        q.ReadIdx = s;
        if (q.Ready[s] == 1) {
            int len = q.Len[s];
            if (len < 0 || len > SEND2PC_LEN)
                len = 0;
            if (fd >= 0 && len > 0) {
                ssize_t n = write(fd, q.Text[s], std::size_t(len));
                if (dest == PORT_LAN && n < len && g_ucpLan != nullptr) {
                    int32_t state = LAN_CLOSE;
                    std::memcpy(g_ucpLan, &state, sizeof state);
                }
            }
            std::printf("[%d-%d]send %.*s", s, dest, len, q.Text[s]);
        }
        q.Ready[s] = 0;
    }
    MutexSend2PCUnlock();
    return 0;
}

void Send2PcWaitRoom()
{
    if (send2PCarray == nullptr)
        return;
    // The drain sends one text per 250 ms tick. Wait for it; when it has
    // made no progress for a while (its process busy, or the texts are for
    // the LAN, which only this process can reach) send one ourselves.
    int stalled = 0;
    while (Send2PcPending() >= SEND2PC_SLOTS - 1) {
        int before = Index(send2PCarray->ReadIdx);
        usleep(50 * 1000);
        SoftDogFeed(DOG_C);
        if (Index(send2PCarray->ReadIdx) != before) {
            stalled = 0;
        } else if (++stalled >= 10) {
            Send2Pc();
            stalled = 0;
        }
    }
}

int Send2PcLanDrain()
{
    int sent = 0;
    while (send2PCarray != nullptr && sent < SEND2PC_SLOTS) {
        MutexSend2PClock();
        int r = Index(send2PCarray->ReadIdx);
        bool lanFirst = r != Index(send2PCarray->WriteIdx) && send2PCarray->Dest[Next(r)] == PORT_LAN;
        MutexSend2PCUnlock();
        if (!lanFirst)
            break;
        Send2Pc();
        ++sent;
    }
    return sent;
}

void SetLanOwner() { g_bLanOwner = true; }
