// Relaying traffic between running instances over pipes.
#pragma once
#include <windows.h>
#include <cstdint>

void StartTunnel(void* context);
void StopTunnel();
void SetTunnelRelay(BOOL relay);
// Reader thread of the engine: copies the bytes when the tunnel relays.
void RelayReceivedBytes(const void* bytes, uint32_t count);
// Main window WM_COPYDATA from another instance.
LRESULT AcceptAttachRequest(HWND hwnd, WPARAM wParam, LPARAM lParam);

// Menu 40141: a tunnel peer in a new process.
void StartChildPeer(HWND owner);
// Menu 40142: the attach dialog; the chosen instance's window or null.
HWND ChooseAttachTarget(HWND owner);
void AttachToInstance(HWND owner, HWND target);
