// The session: the one port's device settings, its engine and the state of
// its log file, and the only code that opens, reconfigures and closes the
// port. Menu commands, the main window's messages and, later, automation and
// the tunnel all go through it; observers hear what changed.
//
// Main thread only. Every operation answers 0 or a Win32 error code; what it
// reports to the user on the way (a log file that cannot be opened) goes
// through the catalogue's presenter, the error it returns is the caller's to
// show.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "serial/device_settings.h"
#include "serial/engine.h"
#include "settings/settings_types.h"

enum class SessionChange {
    Connected,      // the port is open and the engine runs
    Reconfigured,   // new settings on the open port (the engine runs again)
    Disconnecting,  // the port is about to close
    Disconnected,   // the port is closed, logging stopped
    Logging,        // logging was stopped or started on the open port
    Lost,           // after Disconnected: the port went away (LostDevice, LostError)
    Reopened,       // after Connected: a lost port came back and was opened again
};

struct SessionObserver {
    void (*changed)(void* context, SessionChange change);
    void* context;
};

// Bytes the reader thread received, on that thread (the tunnel's relay).
using RelayFn = void (*)(void* context, const uint8_t* bytes, uint32_t count);

class Session {
public:
    // The window that receives the engine's records and serves its requests
    // (the main window), and the settings that name the log file.
    void Attach(HWND window, AppSettings* app);
    void SetRelay(RelayFn relay, void* context);
    void AddObserver(SessionObserver observer);
    void RemoveObserver(SessionObserver observer);

    // Opens the port, starts its log file and the engine. A port that opens
    // but whose engine cannot start is closed again.
    DWORD Connect(const DeviceSettings& settings);
    // New settings without closing: on failure the settings that worked are
    // applied again and the error is returned.
    DWORD Reconfigure(const DeviceSettings& settings);
    DWORD Disconnect();
    // The engine found the port gone (main window 0x7432, with the engine run
    // that saw it): closes it exactly as Disconnect does, then tells the
    // observers (Lost). With the reopen setting on, tries the same port with
    // the same settings about once a second until it opens (Connected, then
    // Reopened). Any connect or disconnect of the user or a script ends the
    // waiting, and so does StopReopening.
    void PortLost(DWORD error, uint32_t run);
    void StopReopening();
    bool IsReopening() const { return reopenTimer_ != 0; }
    // The settings of the port that went away last, and why it did.
    const DeviceSettings& LostDevice() const { return lost_; }
    DWORD LostError() const { return lostError_; }
    // Through the send window to the writer (SubmitSend).
    DWORD Send(const void* bytes, uint32_t count, bool asynchronous);
    // Stops or restarts the log file of the open port.
    DWORD SetLogging(bool on);
    // A log file chosen by the user: the automatic name goes off, and the
    // file is opened at once when a port is open.
    DWORD SetLogFile(const char* path);

    bool IsOpen() const { return (device_.flags & DEVICE_OPEN) != 0; }
    bool IsLogging() const { return logging_; }
    DeviceSettings& Device() { return device_; }
    const DeviceSettings& Device() const { return device_; }
    SerialEngine& Engine() { return engine_; }
    HWND Window() const { return window_; }

    // Tests only: the next engine start fails with `error` (0: no failure).
    void FailNextEngineStartForTest(DWORD error) { failEngineStart_ = error; }
    // Back to the state before any connection (start-up of a test's window).
    void Reset();

private:
    DWORD Open(const DeviceSettings& settings);
    DWORD Close();
    void TryReopen();
    static void CALLBACK ReopenTick(HWND, UINT, UINT_PTR, DWORD);
    DWORD OpenLog();
    DWORD StartEngineNow();
    void Notify(SessionChange change);

    HWND window_ = nullptr;
    AppSettings* app_ = nullptr;
    DeviceSettings device_{};
    SerialEngine engine_{INVALID_HANDLE_VALUE, {}, {}, {}};
    RelayFn relay_ = nullptr;
    void* relayContext_ = nullptr;
    bool logging_ = false;
    DWORD failEngineStart_ = 0;
    std::vector<SessionObserver> observers_;
    DeviceSettings lost_{};
    DWORD lostError_ = 0;
    uint32_t lostRun_ = 0;     // the engine run whose loss is handled (it may be told twice)
    UINT_PTR reopenTimer_ = 0;
};

Session& GetSession();

// The automatic log file "Vorlin2_<port>.log" in the log thread's folder.
// False when it cannot be made: the log thread does not run, or the name
// does not fit a path (then `path` holds what it would have been).
bool MakeAutomaticLogPath(const char* portName, std::string& path);
