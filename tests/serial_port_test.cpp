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
// Reads the modem status bits (ntddser.h).
constexpr DWORD kGetModemStatusIoctl = 0x1B0068;

// Device calls that note their names (and the purge flags) and then do the
// real thing, unless a test makes one fail.
std::vector<std::string> g_calls;
bool g_failSetupComm = false;
DWORD g_pendingIoctlCount = 0;

BOOL WINAPI NotedSetCommState(HANDLE h, LPDCB dcb) { g_calls.push_back("SetCommState"); return SetCommState(h, dcb); }
BOOL WINAPI NotedSetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t) { g_calls.push_back("SetCommTimeouts"); return SetCommTimeouts(h, t); }
BOOL WINAPI NotedSetupComm(HANDLE h, DWORD in, DWORD out)
{
    g_calls.push_back("SetupComm");
    if (g_failSetupComm) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return SetupComm(h, in, out);
}
BOOL WINAPI NotedPurgeComm(HANDLE h, DWORD flags)
{
    g_calls.push_back("PurgeComm " + std::to_string(flags));
    return PurgeComm(h, flags);
}
BOOL WINAPI NotedClearCommError(HANDLE h, LPDWORD e, LPCOMSTAT s) { g_calls.push_back("ClearCommError"); return ClearCommError(h, e, s); }
BOOL WINAPI NotedCloseHandle(HANDLE h) { g_calls.push_back("CloseHandle"); return CloseHandle(h); }
BOOL WINAPI NotedFlush(HANDLE h) { g_calls.push_back("FlushFileBuffers"); return FlushFileBuffers(h); }

// A device control that completes later: the count comes from the result.
BOOL WINAPI PendingIoctl(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD returned, LPOVERLAPPED ov)
{
    *returned = 0;
    ResetEvent(ov->hEvent);
    ov->Internal = 0;
    ov->InternalHigh = g_pendingIoctlCount;
    SetEvent(ov->hEvent);
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}
BOOL WINAPI PendingResult(HANDLE, LPOVERLAPPED ov, LPDWORD count, BOOL wait)
{
    if (wait) WaitForSingleObject(ov->hEvent, INFINITE);
    *count = static_cast<DWORD>(ov->InternalHigh);
    return TRUE;
}

DeviceCalls NotingCalls()
{
    DeviceCalls calls = Win32DeviceCalls();
    calls.setCommState = NotedSetCommState;
    calls.setCommTimeouts = NotedSetCommTimeouts;
    calls.setupComm = NotedSetupComm;
    calls.purgeComm = NotedPurgeComm;
    calls.clearCommError = NotedClearCommError;
    calls.closeHandle = NotedCloseHandle;
    calls.flushFileBuffers = NotedFlush;
    return calls;
}

class PortDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        g_failSetupComm = false;
        ASSERT_TRUE(peer_.Open(kPeer)) << GetLastError();
    }
    void TearDown() override
    {
        SetDeviceCalls(nullptr);
        ClosePort(&record_.flags, &port_);
    }
    void UseNotingCalls()
    {
        calls_ = NotingCalls();
        SetDeviceCalls(&calls_);
    }
    // The port answers: bytes written on it reach the far end.
    void ExpectWorks(HANDLE port, const std::string& text)
    {
        OVERLAPPED ov{};
        ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD n = 0;
        if (!WriteFile(port, text.data(), static_cast<DWORD>(text.size()), &n, &ov) &&
            GetLastError() == ERROR_IO_PENDING)
            GetOverlappedResult(port, &ov, &n, TRUE);
        CloseHandle(ov.hEvent);
        EXPECT_EQ(peer_.Read(text.size(), 3000), text);
    }

    FarEnd peer_;
    DeviceSettings record_ = TestPortSettings(kPort);
    HANDLE port_ = INVALID_HANDLE_VALUE;
    DeviceCalls calls_{};
};

TEST_F(PortDevice, OpenConfiguresInOrderPurgesAndMarksTheRecordOpen)
{
    UseNotingCalls();
    record_.dcb.BaudRate = 19200;
    ASSERT_TRUE(OpenPort(record_, &port_)) << GetLastError();
    EXPECT_NE(port_, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(record_.flags & DEVICE_OPEN);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"SetCommState", "SetCommTimeouts", "SetupComm",
                                                 "PurgeComm 15", "ClearCommError"}));
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port_, &dcb));
    EXPECT_EQ(dcb.BaudRate, 19200u);
    ExpectWorks(port_, "opened");
    // DTR and RTS on at this end: the far end sees DSR, RLSD and CTS.
    EXPECT_EQ(peer_.ModemStatus() & (MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
}

TEST_F(PortDevice, OpenReplacesTheHandleTheSlotHeld)
{
    // The far end's port serves as the other port here (other cables
    // belong to tests that run at the same time).
    peer_.Close();
    DeviceSettings other = TestPortSettings(kPeer);
    ASSERT_TRUE(OpenPort(other, &port_));
    HANDLE first = port_;
    ASSERT_TRUE(OpenPort(record_, &port_));
    EXPECT_NE(port_, first);
    // The old port was closed: it can be opened again.
    HANDLE again = INVALID_HANDLE_VALUE;
    DeviceSettings reopened = TestPortSettings(kPeer);
    EXPECT_TRUE(OpenPort(reopened, &again)) << GetLastError();
    ClosePort(&reopened.flags, &again);
}

TEST_F(PortDevice, SecondOpenOfAHeldPortFailsAndLeavesTheHeldHandleAlone)
{
    ASSERT_TRUE(OpenPort(record_, &port_));
    HANDLE held = port_;
    DeviceSettings second = TestPortSettings(kPort);
    second.flags = DEVICE_OPEN;
    SetLastError(0);
    EXPECT_FALSE(OpenPort(second, &port_));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(port_, held);
    EXPECT_FALSE(second.flags & DEVICE_OPEN);
    ExpectWorks(held, "still mine");
}

TEST_F(PortDevice, FailingSetupCommClosesTheNewHandleAndKeepsItsError)
{
    UseNotingCalls();
    g_failSetupComm = true;
    record_.flags = DEVICE_OPEN;
    SetLastError(0);
    EXPECT_FALSE(OpenPort(record_, &port_));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(port_, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(record_.flags & DEVICE_OPEN);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"SetCommState", "SetCommTimeouts", "SetupComm", "CloseHandle"}));
    // Nothing was left open.
    g_failSetupComm = false;
    EXPECT_TRUE(OpenPort(record_, &port_)) << GetLastError();
}

TEST_F(PortDevice, ReconfigureChangesTheOpenPortAndStopsAtTheFirstFailure)
{
    ASSERT_TRUE(OpenPort(record_, &port_));
    UseNotingCalls();
    record_.dcb.BaudRate = 38400;
    ASSERT_TRUE(ReconfigurePort(record_, &port_));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"SetCommState", "SetCommTimeouts", "SetupComm",
                                                 "PurgeComm 15", "ClearCommError"}));
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port_, &dcb));
    EXPECT_EQ(dcb.BaudRate, 38400u);

    g_calls.clear();
    g_failSetupComm = true;
    SetLastError(0);
    EXPECT_FALSE(ReconfigurePort(record_, &port_));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"SetCommState", "SetCommTimeouts", "SetupComm"}));
    ExpectWorks(port_, "still open");
}

TEST_F(PortDevice, CloseReleasesThePortAndDropsItsLines)
{
    ASSERT_TRUE(OpenPort(record_, &port_));
    ASSERT_NE(peer_.ModemStatus() & MS_DSR_ON, 0u);
    ClosePort(&record_.flags, &port_);
    EXPECT_EQ(port_, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(record_.flags & DEVICE_OPEN);
    EXPECT_EQ(peer_.ModemStatus() & (MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON), 0u);
    // Closing again is harmless.
    ClosePort(&record_.flags, &port_);
    EXPECT_EQ(port_, INVALID_HANDLE_VALUE);
}

TEST_F(PortDevice, PropertiesOfAClosedPortOnlyAndTheOpenOneRefused)
{
    COMMPROP properties{};
    ASSERT_TRUE(QueryPortProperties(kPort, &properties)) << GetLastError();
    EXPECT_NE(properties.dwMaxBaud, 0u);
    EXPECT_NE(properties.dwSettableBaud & BAUD_9600, 0u);
    // The query's own handle was closed.
    ASSERT_TRUE(OpenPort(record_, &port_)) << GetLastError();
    COMMPROP again{};
    EXPECT_FALSE(QueryPortProperties(kPort, &again));
    EXPECT_FALSE(QueryPortProperties("COM99", &again));
}

TEST_F(PortDevice, RecoveryPurgesOnlyTheOtherDirection)
{
    ASSERT_TRUE(OpenPort(record_, &port_));
    UseNotingCalls();
    RecoverAfterReadError(port_);
    RecoverAfterWriteError(port_);
    EXPECT_EQ(g_calls, (std::vector<std::string>{
                           "ClearCommError", "PurgeComm " + std::to_string(PURGE_TXABORT | PURGE_TXCLEAR),
                           "ClearCommError", "PurgeComm " + std::to_string(PURGE_RXABORT | PURGE_RXCLEAR)}));
    g_calls.clear();
    EXPECT_TRUE(FlushPort(port_));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"FlushFileBuffers"}));
}

TEST_F(PortDevice, LineFunctionsReachTheFarEnd)
{
    ASSERT_TRUE(OpenPort(record_, &port_));
    EXPECT_EQ(RunLineFunction(port_, CLRRTS), 0u);
    EXPECT_EQ(peer_.ModemStatus() & MS_CTS_ON, 0u);
    EXPECT_EQ(RunLineFunction(port_, CLRDTR), 0u);
    EXPECT_EQ(peer_.ModemStatus() & (MS_DSR_ON | MS_RLSD_ON), 0u);
    EXPECT_EQ(RunLineFunction(port_, SETRTS), 0u);
    EXPECT_NE(peer_.ModemStatus() & MS_CTS_ON, 0u);
    EXPECT_EQ(RunLineFunction(port_, SETDTR), 0u);
    EXPECT_NE(peer_.ModemStatus() & MS_DSR_ON, 0u);
    EXPECT_EQ(RunLineFunction(port_, SETBREAK), 0u);
    EXPECT_EQ(RunLineFunction(port_, CLRBREAK), 0u);
    EXPECT_NE(RunLineFunction(port_, 77), 0u);
    EXPECT_NE(RunLineFunction(INVALID_HANDLE_VALUE, SETRTS), 0u);
}

TEST_F(PortDevice, IoControlReturnsTheCountOfImmediateAndPendingCompletions)
{
    ASSERT_TRUE(OpenPort(record_, &port_));
    DWORD status = 0;
    EscapeRequest request{kGetModemStatusIoctl, nullptr, 0, &status, sizeof status, 99};
    EXPECT_TRUE(RunIoControl(port_, &request));
    EXPECT_EQ(request.error, 0u);
    EXPECT_EQ(request.outputLength, 4u);
    EXPECT_EQ(status & (MS_CTS_ON | MS_DSR_ON), MS_CTS_ON | MS_DSR_ON);

    EscapeRequest bad{0x7777777, nullptr, 0, nullptr, 0, 0};
    EXPECT_FALSE(RunIoControl(port_, &bad));
    EXPECT_NE(bad.error, 0u);

    calls_ = Win32DeviceCalls();
    calls_.deviceIoControl = PendingIoctl;
    calls_.getOverlappedResult = PendingResult;
    SetDeviceCalls(&calls_);
    g_pendingIoctlCount = 3;
    char out[8];
    EscapeRequest pending{kGetModemStatusIoctl, nullptr, 0, out, sizeof out, 99};
    EXPECT_TRUE(RunIoControl(port_, &pending));
    EXPECT_EQ(pending.error, 0u);
    EXPECT_EQ(pending.outputLength, 3u);
}

} // namespace
