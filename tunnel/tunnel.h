// Relaying traffic between running instances over pipes: every block this
// instance reads from its port goes to each peer as "DATA," lines, and what
// peers send is written out of this instance's port while it is open.
#pragma once
#include <windows.h>
#include <cstdint>

// The class of every instance's main window: the only senders the tunnel
// listens to and the only windows it attaches to.
constexpr wchar_t kInstanceWindowClass[] = L"VORLIN2_MAIN_WND_CLASS";
constexpr uint32_t kMaxTunnelPeers = 16;

// The attach request's payload (WM_COPYDATA, exactly 16 bytes): the
// sender's process id, 0, then the read end and write end of its pipes as
// valid in the receiving process. Handles travel as 32-bit values, as Windows
// shares them between 32- and 64-bit processes.
struct TunnelPeer {
    uint32_t processId;
    uint32_t process;
    uint32_t readEnd;
    uint32_t writeEnd;
};
static_assert(sizeof(TunnelPeer) == 16);

void StartTunnel(void* context);
void StopTunnel();
void SetTunnelRelay(BOOL relay);
// The number of peers; 0 or the Win32 error of making the request. Any
// thread; the caller waits for the manager thread (serving sent messages).
DWORD QueryTunnelPeerCount(uint32_t* count);
// Reader thread of the engine: copies the bytes when the tunnel has peers.
void RelayReceivedBytes(const void* bytes, uint32_t count);
// Main window WM_COPYDATA from another instance: 1 accepted, 0 refused.
LRESULT AcceptAttachRequest(HWND hwnd, WPARAM wParam, LPARAM lParam);

// Menu 40141: a tunnel peer in a new process. True when one was added.
bool StartChildPeer(HWND owner);
// Menu 40142: the attach dialog; the chosen instance's window or null.
HWND ChooseAttachTarget(HWND owner);
// Joins the instance whose main window is `target`; reports failures.
bool AttachToInstance(HWND owner, HWND target);
