#include "tunnel/tunnel.h"

// Placeholder until the tunnel is built: it relays to no one.
void StartTunnel(void*) {}
void StopTunnel() {}
void SetTunnelRelay(BOOL) {}
void RelayReceivedBytes(const void*, uint32_t) {}
LRESULT AcceptAttachRequest(HWND, WPARAM, LPARAM) { return 0; }
void StartChildPeer(HWND) {}
HWND ChooseAttachTarget(HWND) { return nullptr; }
void AttachToInstance(HWND, HWND) {}
