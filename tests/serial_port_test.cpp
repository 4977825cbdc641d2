// The port device on a virtual null-modem cable.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/device_calls.h"
#include "serial/port.h"
#include "tests/support/serial_bench.h"

namespace {

using Calls = std::vector<std::string>;
using Values = std::vector<DWORD>;

// Device calls that note their names (and the purge flags), then do the real thing unless made to fail.
struct Noted {
    Calls calls;
    bool failSetupComm = false;
};
Noted& NotedOf(void* context) { return *static_cast<Noted*>(context); }
#define NOTED(field, name) \
    calls_.field = [](void* c, auto... a) { return NotedOf(c).calls.push_back(#name), name(a...); }

class PortDevice : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(peer_.Open(VORLIN_FAR_PORT)) << GetLastError(); }
    void TearDown() override
    {
        SetDeviceCalls(nullptr);
        ClosePort(&record_.flags, &port_);
    }
    void UseNotingCalls(bool failSetupComm = false)
    {
        noted_ = Noted{{}, failSetupComm};
        calls_ = Win32DeviceCalls();
        calls_.context = &noted_;
        NOTED(setCommState, SetCommState);
        NOTED(setCommTimeouts, SetCommTimeouts);
        NOTED(clearCommError, ClearCommError);
        calls_.closeHandle = [](void* c, HANDLE h) {  // a clean-up call may leave another last error behind
            NotedOf(c).calls.push_back("CloseHandle");
            BOOL closed = CloseHandle(h);
            SetLastError(ERROR_GEN_FAILURE);
            return closed;
        };
        NOTED(flushFileBuffers, FlushFileBuffers);
        // Wine's ports are exclusive whatever the share mode: the open's arguments are the witness.
        calls_.createFile = [](void* c, LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD how,
                               DWORD flags, HANDLE from) {
            NotedOf(c).calls.push_back(std::to_string(access) + " " + std::to_string(share) + " " + std::to_string(how) +
                                       " " + std::to_string(flags));
            return CreateFileA(path, access, share, sa, how, flags, from);
        };
        calls_.setupComm = [](void* c, HANDLE h, DWORD in, DWORD out) -> BOOL {
            NotedOf(c).calls.push_back("SetupComm");
            if (NotedOf(c).failSetupComm) SetLastError(ERROR_INVALID_PARAMETER);
            return !NotedOf(c).failSetupComm && SetupComm(h, in, out);
        };
        calls_.purgeComm = [](void* c, HANDLE h, DWORD flags) {
            return NotedOf(c).calls.push_back("PurgeComm " + std::to_string(flags)), PurgeComm(h, flags);
        };
        SetDeviceCalls(&calls_);
    }
    DWORD Baud()
    {
        DCB dcb{};
        return GetCommState(port_, &dcb) ? dcb.BaudRate : 0;
    }

    FarEnd peer_;
    DeviceSettings record_ = TestPortSettings(VORLIN_PORT);
    HANDLE port_ = INVALID_HANDLE_VALUE;
    DeviceCalls calls_{};
    Noted noted_;
};

TEST_F(PortDevice, OpenReconfigureRecoverAndCloseCallTheDriverInOrderAndKeepTheError)
{
    const Calls configure{"SetCommState", "SetCommTimeouts", "SetupComm"};
    Calls configured = configure, closed = configure;
    configured.insert(configured.end(), {"PurgeComm 15", "ClearCommError"});
    closed.push_back("CloseHandle");
    // Read and write, exclusive, OPEN_EXISTING, overlapped.
    const std::string open = std::to_string(GENERIC_READ | GENERIC_WRITE) + " 0 3 " + std::to_string(FILE_FLAG_OVERLAPPED);
    closed.insert(closed.begin(), open);
    // The last error, whether the handle is set, whether the record is marked open.
    auto state = [&] { return Values{GetLastError(), port_ != INVALID_HANDLE_VALUE, !!(record_.flags & DEVICE_OPEN)}; };
    // A failing open closes its new handle and keeps the failure's error.
    UseNotingCalls(true);
    record_.flags = DEVICE_OPEN;
    SetLastError(0);
    EXPECT_FALSE(OpenPort(record_, &port_));
    EXPECT_EQ(state(), (Values{ERROR_INVALID_PARAMETER, 0, 0}));
    EXPECT_EQ(noted_.calls, closed);

    // A successful open closes what the slot held before, after configuring the new port.
    UseNotingCalls();
    HANDLE before = port_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    record_.dcb.BaudRate = 19200;
    ASSERT_TRUE(OpenPort(record_, &port_)) << GetLastError();
    Calls opened = configured;
    opened.insert(opened.begin(), open);
    opened.push_back("CloseHandle");
    EXPECT_EQ(noted_.calls, opened);
    EXPECT_TRUE(port_ != before && !CloseHandle(before) && (record_.flags & DEVICE_OPEN));
    EXPECT_EQ(Baud(), 19200u);
    // A port that another program holds: the open's error, and the open port stays in the slot.
    DeviceSettings held = TestPortSettings(VORLIN_FAR_PORT);
    before = port_;
    EXPECT_FALSE(OpenPort(held, &port_));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(port_, before);

    UseNotingCalls();
    record_.dcb.BaudRate = 38400;
    ASSERT_TRUE(ReconfigurePort(record_, &port_));
    EXPECT_EQ(noted_.calls, configured);
    EXPECT_EQ(Baud(), 38400u);
    UseNotingCalls(true);
    SetLastError(0);
    EXPECT_FALSE(ReconfigurePort(record_, &port_));  // stops at the first failure, port stays open
    EXPECT_EQ(state(), (Values{ERROR_INVALID_PARAMETER, 1, 1}));
    EXPECT_EQ(noted_.calls, configure);

    // Recovery purges only the other direction.
    UseNotingCalls();
    RecoverAfterReadError(port_);
    RecoverAfterWriteError(port_);
    EXPECT_TRUE(FlushPort(port_));
    EXPECT_EQ(noted_.calls, (Calls{"ClearCommError", "PurgeComm " + std::to_string(PURGE_TXABORT | PURGE_TXCLEAR),
                              "ClearCommError", "PurgeComm " + std::to_string(PURGE_RXABORT | PURGE_RXCLEAR),
                              "FlushFileBuffers"}));
    EXPECT_NE(RunLineFunction(port_, 77), 0u);
    // A device control that completes later: the count comes from its result.
    calls_.deviceIoControl = [](void*, HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD returned, LPOVERLAPPED ov) {
        *returned = 0;
        ov->InternalHigh = 3;
        SetEvent(ov->hEvent);
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    };
    calls_.getOverlappedResult = [](void*, HANDLE, LPOVERLAPPED ov, LPDWORD count, BOOL) {
        return *count = static_cast<DWORD>(ov->InternalHigh), TRUE;
    };
    char out[8];
    EscapeRequest pending{0x1B0068, nullptr, 0, out, sizeof out, 99};  // IOCTL_SERIAL_GET_MODEMSTATUS
    EXPECT_TRUE(RunIoControl(port_, &pending));
    EXPECT_EQ(pending.error * 10 + pending.outputLength, 3u);
    ClosePort(&record_.flags, &port_);
    EXPECT_TRUE(port_ == INVALID_HANDLE_VALUE && !(record_.flags & DEVICE_OPEN));
}

} // namespace
