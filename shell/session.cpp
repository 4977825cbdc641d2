#include "shell/session.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "automation/port_lock.h"
#include "base/catalogue.h"
#include "base/text.h"
#include "logging/log_thread.h"
#include "sending/send_forms.h"
#include "serial/port.h"

namespace {

constexpr UINT kReopenIntervalMs = 1000;

} // namespace

Session& GetSession()
{
    static Session session;
    return session;
}

bool MakeAutomaticLogPath(const char* portName, std::string& path)
{
    char name[300];
    snprintf(name, sizeof name, "Vorlin2_%.259s.log", portName);  // a name field holds 259 characters
    LogSettings log;
    if (!GetLogSettings(&log)) {
        path = name;
        return false;
    }
    log.directory[sizeof log.directory - 1] = 0;
    path = log.directory;
    if (!path.empty() && !EndsWithBackslash(log.directory)) path += '\\';
    path += name;
    return path.size() < sizeof(AppSettings::logFilePath);
}

void Session::Attach(HWND window, AppSettings* app)
{
    window_ = window;
    app_ = app;
    SetSendWindow(window);
}

void Session::SetRelay(RelayFn relay, void* context)
{
    relay_ = relay;
    relayContext_ = context;
}

void Session::AddObserver(SessionObserver observer) { observers_.push_back(observer); }

void Session::RemoveObserver(SessionObserver observer)
{
    for (auto it = observers_.begin(); it != observers_.end(); ++it) {
        if (it->changed == observer.changed && it->context == observer.context) {
            observers_.erase(it);
            return;
        }
    }
}

void Session::Reset()
{
    StopReopening();
    StopEngine(engine_);
    ClosePort(&device_.flags, &engine_.port);
    device_ = DeviceSettings{};
    engine_ = SerialEngine{INVALID_HANDLE_VALUE, {}, {}, {}};
    logging_ = false;
    failEngineStart_ = 0;
}

void Session::Notify(SessionChange change)
{
    // A copy: an observer may remove itself while it is told.
    std::vector<SessionObserver> observers = observers_;
    for (const SessionObserver& o : observers) o.changed(o.context, change);
}

// The automatic name, when it is on, replaces the stored path first; a name
// that does not fit is reported and nothing is opened. Logging counts as on
// even then, as the menu shows it: the next restart tries again.
DWORD Session::OpenLog()
{
    logging_ = true;
    if (!app_) return ERROR_INVALID_FUNCTION;
    if (app_->flags & APP_AUTO_LOG_NAME) {
        std::string path;
        if (!MakeAutomaticLogPath(device_.portName, path)) {
            ShowMessage(window_, kAppTitle, MSG_LOG_FILE_FAILED, MB_OK | MB_ICONEXCLAMATION, path.c_str());
            return ERROR_FILENAME_EXCED_RANGE;
        }
        CopySjis(app_->logFilePath, sizeof app_->logFilePath, path);
    }
    return OpenLogFile(window_, app_->logFilePath) ? 0 : ERROR_OPEN_FAILED;
}

DWORD Session::StartEngineNow()
{
    if (failEngineStart_) {
        DWORD error = failEngineStart_;
        failEngineStart_ = 0;
        return error;
    }
    engine_.sink = EngineSink{window_, relay_, relayContext_};
    if (StartEngine(engine_)) return 0;
    DWORD error = GetLastError();
    return error ? error : ERROR_BUSY;
}

DWORD Session::Connect(const DeviceSettings& settings)
{
    StopReopening();
    return Open(settings);
}

DWORD Session::Open(const DeviceSettings& settings)
{
    if (IsOpen()) return ERROR_ALREADY_INITIALIZED;
    DeviceSettings work = settings;  // the open fills in what the port reports
    if (!OpenPort(work, &engine_.port)) return GetLastError();
    device_ = work;
    device_.flags |= DEVICE_OPEN;

    OpenLog();  // a log file that cannot be opened is reported and does not stop the port
    if (DWORD error = StartEngineNow()) {
        CloseLogFile();
        logging_ = false;
        ClosePort(&device_.flags, &engine_.port);
        return error;
    }
    Notify(SessionChange::Connected);
    return 0;
}

DWORD Session::Reconfigure(const DeviceSettings& settings)
{
    if (!IsOpen()) return ERROR_INVALID_HANDLE;
    StopEngine(engine_);
    DWORD error = 0;
    if (ReconfigurePort(settings, &engine_.port)) {
        DWORD flags = device_.flags;
        device_ = settings;
        device_.flags = (settings.flags & ~DEVICE_OPEN) | (flags & DEVICE_OPEN);
    } else {
        error = GetLastError();
        ReconfigurePort(device_, &engine_.port);
    }
    DWORD engineError = StartEngineNow();
    // The panel is set up once the engine runs again, so that its line
    // requests reach a running event thread.
    Notify(SessionChange::Reconfigured);
    return error ? error : engineError;
}

DWORD Session::Disconnect()
{
    StopReopening();
    return Close();
}

DWORD Session::Close()
{
    Notify(SessionChange::Disconnecting);
    StopEngine(engine_);
    ClosePort(&device_.flags, &engine_.port);
    CloseLogFile();
    logging_ = false;
    Notify(SessionChange::Disconnected);
    return 0;
}

DWORD Session::Send(const void* bytes, uint32_t count, bool asynchronous)
{
    return SubmitSend(bytes, count, asynchronous);
}

DWORD Session::SetLogging(bool on)
{
    if (!IsOpen()) return ERROR_INVALID_HANDLE;
    DWORD error = 0;
    if (on) {
        error = app_ && OpenLogFile(window_, app_->logFilePath) ? 0 : ERROR_OPEN_FAILED;
        logging_ = true;  // as the menu shows it: a failed open was reported, restart tries again
    } else {
        CloseLogFile();
        logging_ = false;
    }
    Notify(SessionChange::Logging);
    return error;
}

DWORD Session::SetLogFile(const char* path)
{
    if (!app_ || !path || !*path) return ERROR_INVALID_PARAMETER;
    size_t length = strlen(path);
    if (length >= sizeof app_->logFilePath) return ERROR_FILENAME_EXCED_RANGE;
    memcpy(app_->logFilePath, path, length + 1);
    app_->flags &= ~APP_AUTO_LOG_NAME;
    if (!IsOpen()) return 0;
    DWORD error = OpenLogFile(window_, app_->logFilePath) ? 0 : ERROR_OPEN_FAILED;
    logging_ = true;
    Notify(SessionChange::Logging);
    return error;
}

void Session::PortLost(DWORD error, uint32_t run)
{
    // A notice of an engine run that has ended (stopped for a reconfiguration
    // or a disconnect) is about a port that is not open now. One run may
    // tell twice (reader and event thread), also while the first notice is
    // being handled and an observer lets messages through.
    if (!IsOpen() || run != engine_.run || run == lostRun_) return;
    lostRun_ = run;
    lost_ = device_;
    lost_.flags &= ~DEVICE_OPEN;
    lostError_ = error;
    // Closed whoever holds the port lock: the port is gone for its holder too.
    Close();
    // The waiting is a thread timer on the main thread, not a loop on an
    // engine thread: a connect opens the log file, starts the engine and
    // tells the windows and the scripts, all of which belong to the main
    // thread, and the engine's threads end with the port anyway. Opening a
    // port that is not there fails at once, so a tick never holds up the
    // window. The timer has its own procedure and id, apart from the ids
    // scripts give their timers on the main window.
    if (app_ && (app_->flags & APP_REOPEN_PORT)) reopenTimer_ = SetTimer(nullptr, 0, kReopenIntervalMs, ReopenTick);
    Notify(SessionChange::Lost);
}

void Session::StopReopening()
{
    if (!reopenTimer_) return;
    KillTimer(nullptr, reopenTimer_);
    reopenTimer_ = 0;
}

void CALLBACK Session::ReopenTick(HWND, UINT, UINT_PTR, DWORD) { GetSession().TryReopen(); }

void Session::TryReopen()
{
    // While the user's connect dialog is open, or a script holds the port,
    // they decide what is opened: this tick passes.
    if (!reopenTimer_ || PortLock::LockedByMe(PortLock::kUserInterface) || !PortLock::Lock(PortLock::kUserInterface))
        return;
    DWORD error = Open(lost_);
    PortLock::Unlock(PortLock::kUserInterface);
    if (error) return;
    StopReopening();
    Notify(SessionChange::Reopened);
}
