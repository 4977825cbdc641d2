// The port device on a virtual null-modem cable: COM5 here, COM6 the far end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/device_calls.h"
#include "serial/port.h"
#include "tests/support/serial_bench.h"

namespace {

constexpr char kPort[] = "COM5";
constexpr char kPeer[] = "COM6";
constexpr DWORD kGetModemStatusIoctl = 0x1B0068;  // IOCTL_SERIAL_GET_MODEMSTATUS
constexpr DWORD kAllLines = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;
using Calls = std::vector<std::string>;

// Device calls that note their names (and the purge flags) and then do the
// real thing, unless a test makes SetupComm fail.
Calls g_calls;
bool g_failSetupComm = false;

template <typename... A>
BOOL Noted(const char* name, BOOL (*real)(A...), A... args)
{
    g_calls.push_back(name);
    return real(args...);
}
BOOL WINAPI NotedSetupComm(HANDLE h, DWORD in, DWORD out)
{
    g_calls.push_back("SetupComm");
    if (g_failSetupComm) SetLastError(ERROR_INVALID_PARAMETER);
    return !g_failSetupComm && SetupComm(h, in, out);
}
BOOL WINAPI NotedPurgeComm(HANDLE h, DWORD flags)
{
    g_calls.push_back("PurgeComm " + std::to_string(flags));
    return PurgeComm(h, flags);
}

class PortDevice : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(peer_.Open(kPeer)) << GetLastError(); }
    void TearDown() override
    {
        SetDeviceCalls(nullptr);
        ClosePort(&record_.flags, &port_);
    }
    void UseNotingCalls()
    {
        g_calls.clear();
        g_failSetupComm = false;
        calls_ = Win32DeviceCalls();
        calls_.setCommState = [](HANDLE h, LPDCB d) { return Noted("SetCommState", SetCommState, h, d); };
        calls_.setCommTimeouts = [](HANDLE h, LPCOMMTIMEOUTS t) {
            return Noted("SetCommTimeouts", SetCommTimeouts, h, t);
        };
        calls_.setupComm = NotedSetupComm;
        calls_.purgeComm = NotedPurgeComm;
        calls_.clearCommError = [](HANDLE h, LPDWORD e, LPCOMSTAT s) {
            return Noted("ClearCommError", ClearCommError, h, e, s);
        };
        calls_.closeHandle = [](HANDLE h) { return Noted("CloseHandle", CloseHandle, h); };
        calls_.flushFileBuffers = [](HANDLE h) { return Noted("FlushFileBuffers", FlushFileBuffers, h); };
        SetDeviceCalls(&calls_);
    }
    // The port answers: bytes written on it reach the far end.
    void ExpectWorks(HANDLE port, const std::string& text)
    {
        EXPECT_TRUE(FarEnd::WritePort(port, text.data(), text.size()));
        EXPECT_EQ(peer_.Read(text.size(), 3000), text);
    }
    DWORD Baud()
    {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        EXPECT_TRUE(GetCommState(port_, &dcb));
        return dcb.BaudRate;
    }

    FarEnd peer_;
    DeviceSettings record_ = TestPortSettings(kPort);
    HANDLE port_ = INVALID_HANDLE_VALUE;
    DeviceCalls calls_{};
};

TEST_F(PortDevice, OpenReconfigureAndCloseCallTheDriverInOrderAndKeepTheError)
{
    const Calls configure{"SetCommState", "SetCommTimeouts", "SetupComm"};
    Calls configured = configure;
    configured.insert(configured.end(), {"PurgeComm 15", "ClearCommError"});
    Calls closed = configure;
    closed.push_back("CloseHandle");

    // A failing open closes its new handle and keeps the failure's error.
    UseNotingCalls();
    g_failSetupComm = true;
    record_.flags = DEVICE_OPEN;
    SetLastError(0);
    EXPECT_FALSE(OpenPort(record_, &port_));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(port_, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(record_.flags & DEVICE_OPEN);
    EXPECT_EQ(g_calls, closed);

    UseNotingCalls();
    record_.dcb.BaudRate = 19200;
    ASSERT_TRUE(OpenPort(record_, &port_)) << GetLastError();
    EXPECT_TRUE(record_.flags & DEVICE_OPEN);
    EXPECT_EQ(g_calls, configured);
    EXPECT_EQ(Baud(), 19200u);
    ExpectWorks(port_, "opened");
    EXPECT_EQ(peer_.ModemStatus() & kAllLines, kAllLines);  // DTR and RTS on at this end

    UseNotingCalls();
    record_.dcb.BaudRate = 38400;
    ASSERT_TRUE(ReconfigurePort(record_, &port_));
    EXPECT_EQ(g_calls, configured);
    EXPECT_EQ(Baud(), 38400u);
    UseNotingCalls();
    g_failSetupComm = true;
    SetLastError(0);
    EXPECT_FALSE(ReconfigurePort(record_, &port_));  // stops at the first failure, port stays open
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(g_calls, configure);
    ExpectWorks(port_, "still open");

    ClosePort(&record_.flags, &port_);
    EXPECT_EQ(port_, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(record_.flags & DEVICE_OPEN);
    EXPECT_EQ(peer_.ModemStatus() & kAllLines, 0u);
    ClosePort(&record_.flags, &port_);  // closing again is harmless
    EXPECT_EQ(port_, INVALID_HANDLE_VALUE);
}

TEST_F(PortDevice, ASecondOpenOfTheHeldPortFailsAndAnotherReplacesIt)
{
    ASSERT_TRUE(OpenPort(record_, &port_));
    const HANDLE held = port_;
    DeviceSettings second = TestPortSettings(kPort);
    second.flags = DEVICE_OPEN;
    SetLastError(0);
    EXPECT_FALSE(OpenPort(second, &port_));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(port_, held);
    EXPECT_FALSE(second.flags & DEVICE_OPEN);
    ExpectWorks(held, "still mine");

    // A successful open into the slot closes what it held. (The far end's
    // port serves as the other port: other cables belong to other tests.)
    peer_.Close();
    DeviceSettings other = TestPortSettings(kPeer);
    ASSERT_TRUE(OpenPort(other, &port_));
    EXPECT_NE(port_, held);
    HANDLE again = INVALID_HANDLE_VALUE;
    EXPECT_TRUE(OpenPort(second, &again)) << GetLastError();
    ClosePort(&second.flags, &again);
}

TEST_F(PortDevice, PropertiesOfAClosedPortOnlyAndTheOpenOneRefused)
{
    COMMPROP properties{};
    ASSERT_TRUE(QueryPortProperties(kPort, &properties)) << GetLastError();
    EXPECT_NE(properties.dwMaxBaud, 0u);
    EXPECT_NE(properties.dwSettableBaud & BAUD_9600, 0u);
    ASSERT_TRUE(OpenPort(record_, &port_)) << GetLastError();  // the query closed its own handle
    EXPECT_FALSE(QueryPortProperties(kPort, &properties));
    EXPECT_FALSE(QueryPortProperties("COM99", &properties));
}

TEST_F(PortDevice, RecoveryPurgesOnlyTheOtherDirection)
{
    ASSERT_TRUE(OpenPort(record_, &port_));
    UseNotingCalls();
    RecoverAfterReadError(port_);
    RecoverAfterWriteError(port_);
    EXPECT_TRUE(FlushPort(port_));
    EXPECT_EQ(g_calls, (Calls{"ClearCommError", "PurgeComm " + std::to_string(PURGE_TXABORT | PURGE_TXCLEAR),
                              "ClearCommError", "PurgeComm " + std::to_string(PURGE_RXABORT | PURGE_RXCLEAR),
                              "FlushFileBuffers"}));
}

// What reaches the far end is checked through the engine; here the errors
// and the count of a pending device control.
TEST_F(PortDevice, LineFunctionsAndDeviceControlsReportTheirErrorsAndCounts)
{
    ASSERT_TRUE(OpenPort(record_, &port_));
    EXPECT_EQ(RunLineFunction(port_, SETBREAK), 0u);
    EXPECT_EQ(RunLineFunction(port_, CLRBREAK), 0u);
    EXPECT_NE(RunLineFunction(port_, 77), 0u);
    EXPECT_NE(RunLineFunction(INVALID_HANDLE_VALUE, SETRTS), 0u);
    EscapeRequest bad{0x7777777, nullptr, 0, nullptr, 0, 0};
    EXPECT_FALSE(RunIoControl(port_, &bad));
    EXPECT_NE(bad.error, 0u);

    // A device control that completes later: the count comes from its result.
    calls_ = Win32DeviceCalls();
    calls_.deviceIoControl = [](HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD returned, LPOVERLAPPED ov) {
        *returned = 0;
        ov->InternalHigh = 3;
        SetEvent(ov->hEvent);
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    };
    calls_.getOverlappedResult = [](HANDLE, LPOVERLAPPED ov, LPDWORD count, BOOL) {
        *count = static_cast<DWORD>(ov->InternalHigh);
        return TRUE;
    };
    SetDeviceCalls(&calls_);
    char out[8];
    EscapeRequest pending{kGetModemStatusIoctl, nullptr, 0, out, sizeof out, 99};
    EXPECT_TRUE(RunIoControl(port_, &pending));
    EXPECT_EQ(pending.error, 0u);
    EXPECT_EQ(pending.outputLength, 3u);
}

} // namespace
