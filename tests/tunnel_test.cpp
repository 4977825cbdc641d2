// The tunnel between real instances, each on a cable of its own; the test also plays peers of
// its own making, to read the lines as they travel and to send requests no instance would.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstring>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "resources/resource.h"
#include "tests/support/program_run.h"
#include "tests/support/serial_bench.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"
#include "tunnel/tunnel.h"
#include "tunnel/tunnel_lines.h"

namespace {

constexpr DWORD kWait = 15000;
const std::wstring kTitle = L"通信リソース制御ユーティリティー『Vorlin2』";

DWORD ProcessOf(HWND hwnd)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

// The process that started `pid`, or 0.
DWORD ParentOf(DWORD pid)
{
    DWORD parent = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == pid) parent = entry.th32ParentProcessID;
    CloseHandle(snapshot);
    return parent;
}

// A visible top-level window of the class in process `pid`, or (when 0) in a child of `parent`:
// other instances may be on the desktop.
HWND WaitForWindow(const wchar_t* cls, DWORD pid, DWORD parent = 0)
{
    struct Search { const wchar_t* cls; DWORD pid, parent; HWND found; } s{cls, pid, parent, nullptr};
    auto match = [](HWND hwnd, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        wchar_t name[64] = L"";
        DWORD owner = ProcessOf(hwnd);
        GetClassNameW(hwnd, name, 64);
        bool found = !wcscmp(name, s->cls) && IsWindowVisible(hwnd) &&
                     (s->pid ? owner == s->pid : ParentOf(owner) == s->parent);
        return found ? (s->found = hwnd, FALSE) : TRUE;
    };
    WaitUntil([&] { return !EnumWindows(match, reinterpret_cast<LPARAM>(&s)); }, kWait);
    return s.found;
}

HWND WaitForDialogOf(HWND main) { return WaitForWindow(L"#32770", ProcessOf(main)); }

// The connect dialog of the instance, with `port` chosen and confirmed.
bool Connect(HWND main, const char* port)
{
    PostMessageW(main, WM_COMMAND, IDM_CONNECT, 0);
    HWND dialog = WaitForDialogOf(main), list = GetDlgItem(dialog, IDC_CONNECT_PORT);
    if (SendMessageA(list, CB_SELECTSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(port)) == CB_ERR) return false;
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_CONNECT_PORT, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    PostMessageA(GetDlgItem(dialog, IDC_CONNECT_OK), BM_CLICK, 0, 0);
    std::wstring title = std::wstring(port, port + strlen(port)) + L" - " + kTitle;
    return WaitUntil([&] { return WindowTextW(main) == title; }, kWait);
}

HANDLE Duplicate(HANDLE from, HANDLE handle, HANDLE to, DWORD options = DUPLICATE_SAME_ACCESS)
{
    HANDLE copy = nullptr;
    return DuplicateHandle(from, handle, to, &copy, 0, FALSE, options) ? copy : nullptr;
}

// The test's side of one peer: the pipe ends it keeps.
struct FakePeer {
    HANDLE fromTarget = nullptr, toTarget = nullptr;
    ~FakePeer() { for (HANDLE h : {fromTarget, toTarget}) if (h) CloseHandle(h); }
    // The target still holds the other ends (it neither closed nor lost them).
    bool TargetHoldsEnds() const { return PeekNamedPipe(fromTarget, nullptr, 0, nullptr, nullptr, nullptr) != FALSE; }
    bool Write(const std::string& text) const
    {
        DWORD n = 0;
        return WriteFile(toTarget, text.data(), static_cast<DWORD>(text.size()), &n, nullptr) && n == text.size();
    }
    // The next line the target wrote, with its CR LF; "" when none came in time.
    std::string ReadLine() const
    {
        char buffer[kTunnelBufferBytes];
        DWORD peeked = 0, n = 0;
        WaitUntil([&] { return PeekNamedPipe(fromTarget, buffer, sizeof buffer, &peeked, nullptr, nullptr) &&
                               CompleteLinesLength(buffer, peeked, true); }, kWait);
        ReadFile(fromTarget, buffer, static_cast<DWORD>(CompleteLinesLength(buffer, peeked, true)), &n, nullptr);
        return std::string(buffer, n);
    }
};

// The attach request an instance sends, or a forged one (another process, handles or size); the answer.
LRESULT Attach(HWND target, FakePeer& peer, HWND sender, DWORD processId = 0, HANDLE ends = nullptr,
               DWORD size = sizeof(TunnelPeer))
{
    HANDLE process = OpenProcess(PROCESS_DUP_HANDLE, FALSE, ProcessOf(target));
    HANDLE aWrite = nullptr, bRead = nullptr;
    CreatePipe(&peer.fromTarget, &aWrite, nullptr, kTunnelBufferBytes);
    CreatePipe(&bRead, &peer.toTarget, nullptr, kTunnelBufferBytes);
    constexpr DWORD kMove = DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE;
    HANDLE theirWrite = Duplicate(GetCurrentProcess(), aWrite, process, kMove);
    HANDLE theirRead = Duplicate(GetCurrentProcess(), bRead, process, kMove);
    CloseHandle(process);
    uint32_t payload[8] = {processId ? processId : GetCurrentProcessId(), 0, HandleToULong(ends ? ends : theirRead),
                           HandleToULong(ends ? ends : theirWrite)};
    COPYDATASTRUCT data{0, size, payload};
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(sender), reinterpret_cast<LPARAM>(&data),
                        SMTO_NORMAL, kWait, &answer);
    return answer;
}

// Writes to a far end and drains it until stopped, counting what comes.
struct Stream {
    explicit Stream(const char* port) : ok(end.Open(port))
    {
        thread = std::thread([this] {
            while (ok && !stop) end.Write(std::string(512, 'x')), received += end.Read(SIZE_MAX, 5).size();
        });
    }
    ~Stream() { stop = true, thread.join(); }
    bool Flowing() { return WaitUntil([&] { return received > 4096; }, kWait); }
    FarEnd end;
    bool ok;
    std::atomic<bool> stop{false};
    std::atomic<size_t> received{0};
    std::thread thread;
};

class Tunnel : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testing_support::InstallProgram(temp_.Path()));
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = kInstanceWindowClass;
        RegisterClassW(&wc);
        instance_ = CreateWindowW(kInstanceWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        stranger_ = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    }
    void TearDown() override
    {
        HANDLE child = child_ ? OpenProcess(PROCESS_TERMINATE, FALSE, child_) : nullptr;
        if (child) TerminateProcess(child, 99), CloseHandle(child);
        DestroyWindow(instance_);
        DestroyWindow(stranger_);
    }
    HWND StartInstance(testing_support::ProgramRun& run)
    {
        return run.Start(temp_.Path()) ? run.WaitForMainWindow() : nullptr;
    }
    // Menu 40141 of `parent`: the child's main window.
    HWND StartChild(HWND parent)
    {
        PostMessageW(parent, WM_COMMAND, IDM_TUNNEL_NEW_PROCESS, 0);
        HWND child = WaitForWindow(kInstanceWindowClass, 0, ProcessOf(parent));
        child_ = child ? ProcessOf(child) : 0;
        return child;
    }
    LRESULT AttachFake(HWND target, FakePeer& peer) { return Attach(target, peer, instance_); }

    TempFolder temp_;
    testing_support::ProgramRun a_;
    DWORD child_ = 0;
    HWND instance_ = nullptr, stranger_ = nullptr;
};

} // namespace

TEST(TunnelLines, BlocksAreCutAt4086BytesAndTheArgumentFollowsTheProgramName)
{
    std::vector<uint8_t> block(5000);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7);
    char line[kTunnelMaxLine];
    uint8_t back[kTunnelBufferBytes / 2];
    size_t taken = 0, length = FormatDataLine(block.data(), block.size(), &taken, line);
    EXPECT_EQ(taken, 4086u);
    EXPECT_EQ(length, 8179u);
    ASSERT_EQ(DecodeDataLine(line, length, back), 4086u);
    EXPECT_EQ(memcmp(back, block.data(), 4086), 0);
    length = FormatDataLine(block.data() + 4086, 914, &taken, line);
    EXPECT_EQ(taken, 914u);
    EXPECT_EQ(length, 5u + 2 * 914 + 2);
    EXPECT_EQ(std::string(line, 9) + std::string(line + length - 2, 2), "DATA,BAC1\r\n");  // (4086 * 7) & 0xFF = 0xBA
    // A NUL among a peer's digits is no digit, as any other byte: every pair still gives a byte.
    const char nul[] = "DATA,41\0" "042\r\n";
    ASSERT_EQ(DecodeDataLine(nul, sizeof nul - 1, back), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(back), 3), std::string("A\0B", 3));
    // "/tunnel" counts only after the program's name.
    EXPECT_TRUE(HasTunnelArgument(L"\"C:\\Vorlin2\\Vorlin2.exe\" /tunnel"));
    EXPECT_FALSE(HasTunnelArgument(L"\"C:\\a /tunnel\\Vorlin2.exe\""));
    EXPECT_FALSE(HasTunnelArgument(L"\"C:\\a /tunnel"));
    EXPECT_FALSE(HasTunnelArgument(L"C:\\a/tunnel\\Vorlin2.exe"));
}

TEST_F(Tunnel, AChildRelaysAThirdPeerIsKeptApartAndForeignOrSeventeenthRequestsAreRefused)
{
    HWND a = StartInstance(a_);
    ASSERT_TRUE(a);
    ASSERT_TRUE(Connect(a, VORLIN_PORT));
    HWND b = StartChild(a);
    ASSERT_TRUE(b) << "menu 40141 starts a child";
    FarEnd farA, farB;
    ASSERT_TRUE(farA.Open(VORLIN_FAR_PORT) && farB.Open(VORLIN_FAR_PORT_B));
    // B's port is closed: it reads A's lines and drops them. B polls at least every 400 ms, so
    // twice that after A logged the block is the only witness.
    ASSERT_TRUE(farA.Write("EARLY"));
    const std::string log = temp_.File("log\\Vorlin2_" VORLIN_PORT ".log");
    ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(log).find("45 41 52 4c 59") != std::string::npos; }, kWait));
    Sleep(800);
    ASSERT_TRUE(Connect(b, VORLIN_PORT_B));
    ASSERT_TRUE(farA.Write("\x01\xAB"));
    EXPECT_EQ(farB.Read(2, kWait), "\x01\xAB") << "A's bytes leave B's port, and only those sent since B opened it";
    ASSERT_TRUE(farB.Write("back"));
    EXPECT_EQ(farA.Read(4, kWait), "back");

    // A third peer sees A's bytes as lines; B's bytes and the third's are not passed between them.
    FakePeer third;
    ASSERT_EQ(AttachFake(a, third), 1);
    ASSERT_TRUE(third.Write("DATA,4142\r\n"));
    EXPECT_EQ(farA.Read(2, kWait), "AB");
    ASSERT_TRUE(farA.Write("\x01\xAB"));
    EXPECT_EQ(third.ReadLine(), "DATA,01AB\r\n");
    EXPECT_EQ(farB.Read(2, kWait), "\x01\xAB") << "A passed the third peer's bytes on to B";
    ASSERT_TRUE(farB.Write("Z"));
    EXPECT_EQ(farA.Read(1, kWait), "Z");
    ASSERT_TRUE(farA.Write("N"));
    EXPECT_EQ(third.ReadLine(), "DATA,4E\r\n") << "B's bytes were passed on to the third peer";
    // A line not fully come waits in the pipe (A passes over its peers at least every 400 ms: twice
    // that is the only witness that a pass saw the half line); "DATA" alone and other lines send
    // nothing; an odd digit count sends its half byte.
    ASSERT_TRUE(third.Write("DATA,4"));
    Sleep(800);
    ASSERT_TRUE(third.Write("1\r\nDATA\nHELLO\r\nDATA,414\nDATA,4243\r\n"));
    EXPECT_EQ(farA.Read(5, kWait), "A\x41\x04" "BC");

    HANDLE aProcess = OpenProcess(PROCESS_DUP_HANDLE, FALSE, ProcessOf(a));
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE eventInA = Duplicate(GetCurrentProcess(), event, aProcess);
    ASSERT_TRUE(eventInA);
    // Another class, a short or long record, another process's id, handles that are no pipes: each
    // is refused, and the handles named stay open in A.
    FakePeer refused[5];
    EXPECT_EQ(Attach(a, refused[0], stranger_), 0);
    EXPECT_EQ(Attach(a, refused[1], instance_, 0, nullptr, 15), 0);
    EXPECT_EQ(Attach(a, refused[2], instance_, 0, nullptr, 32), 0);
    EXPECT_EQ(Attach(a, refused[3], instance_, ProcessOf(b)), 0);
    EXPECT_EQ(Attach(a, refused[4], instance_, 0, eventInA), 0);
    for (const FakePeer& peer : refused) EXPECT_TRUE(peer.TargetHoldsEnds());
    HANDLE back = Duplicate(aProcess, eventInA, GetCurrentProcess());
    EXPECT_TRUE(back) << "A closed a handle that was no pipe";
    if (back) CloseHandle(back);
    Duplicate(aProcess, eventInA, nullptr, DUPLICATE_CLOSE_SOURCE);
    CloseHandle(event);

    // The child, the third peer and 14 more fill the table: the 17th is refused and its ends closed.
    FakePeer peers[15];
    for (int i = 0; i < 14; ++i) ASSERT_EQ(AttachFake(a, peers[i]), 1) << i;
    EXPECT_EQ(AttachFake(a, peers[14]), 0);
    EXPECT_FALSE(peers[14].TargetHoldsEnds());
    PostMessageW(a, WM_COMMAND, IDM_TUNNEL_NEW_PROCESS, 0);
    HWND box = WaitForDialogOf(a);
    ASSERT_TRUE(box);
    EXPECT_NE(MessageBoxText(box).find(L"16"), std::wstring::npos) << "message 2003";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, kWait));

    // The child ends: its place is free again within a pass.
    HANDLE child = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, ProcessOf(b));
    ASSERT_TRUE(child);
    TerminateProcess(child, 1);
    WaitForSingleObject(child, kWait);
    CloseHandle(child);
    bool joined = false;
    FakePeer late[15];
    for (int i = 0; i < 15 && !joined; ++i)
        if (!(joined = AttachFake(a, late[i]) == 1)) Sleep(100);
    EXPECT_TRUE(joined) << "a pass is at most 400 ms";
    CloseHandle(aProcess);
}

// The dialog attaches A to its child a second time. Then peers attach to the busy child, the child
// closes while connected (its tunnel stops while its reader still relays), and the parent
// disconnects and closes: a deadlock would hang one of them.
TEST_F(Tunnel, AttachThroughTheDialogThenCloseBothWhileDataFlowsWithoutAHang)
{
    HWND a = StartInstance(a_);
    ASSERT_TRUE(a);
    HWND b = StartChild(a);
    ASSERT_TRUE(b);
    ASSERT_TRUE(Connect(a, VORLIN_PORT) && Connect(b, VORLIN_PORT_B));
    PostMessageW(a, WM_COMMAND, IDM_TUNNEL_ATTACH, 0);
    HWND dialog = WaitForDialogOf(a);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(WindowTextW(dialog), L"アタッチ先の選択");
    HWND list = GetDlgItem(dialog, IDC_ATTACH_LIST);
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1) << "B, and never A itself";
    // The row names B: process id, window, place and size. The list view's record lives in A.
    HANDLE aProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, ProcessOf(a));
    auto* remote = static_cast<char*>(VirtualAllocEx(aProcess, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_TRUE(remote);
    auto cellText = [&](int column) {
        LVITEMW cell{};
        cell.iSubItem = column;
        cell.pszText = reinterpret_cast<wchar_t*>(remote + 1024);
        cell.cchTextMax = 512;
        wchar_t text[512] = L"";
        WriteProcessMemory(aProcess, remote, &cell, sizeof cell, nullptr);
        SendMessageW(list, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(aProcess, remote + 1024, text, sizeof text - sizeof(wchar_t), nullptr);
        return std::wstring(text);
    };
    wchar_t expected[3][64];
    RECT r;
    GetWindowRect(b, &r);
    swprintf(expected[0], 64, L"%lu", ProcessOf(b));
    swprintf(expected[1], 64, L"%08X", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(b)));
    swprintf(expected[2], 64, L"(%4ld, %4ld)-(%4ld, %4ld) %4ldx%4ld", r.left, r.top, r.right, r.bottom,
             r.right - r.left, r.bottom - r.top);
    for (int column = 0; column < 3; ++column) EXPECT_EQ(cellText(column), expected[column]) << column;
    LVITEMW select{};
    select.stateMask = select.state = LVIS_SELECTED | LVIS_FOCUSED;
    WriteProcessMemory(aProcess, remote, &select, sizeof select, nullptr);
    SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(remote));
    PostMessageW(GetDlgItem(dialog, IDC_ATTACH_OK), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, kWait));
    VirtualFreeEx(aProcess, remote, 0, MEM_RELEASE);
    CloseHandle(aProcess);

    {
        FarEnd farA, farB;
        ASSERT_TRUE(farA.Open(VORLIN_FAR_PORT) && farB.Open(VORLIN_FAR_PORT_B));
        ASSERT_TRUE(farA.Write("x"));
        EXPECT_EQ(farB.Read(2, kWait), "xx") << "one line through the child's pipes, one through the attached ones";
    }

    HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, ProcessOf(b));
    Stream toA(VORLIN_FAR_PORT), toB(VORLIN_FAR_PORT_B);
    ASSERT_TRUE(toA.Flowing() && toB.Flowing()) << "each far end receives what the other sends";
    // B's main thread waits for its manager while that manager sends A's lines to B's main window.
    FakePeer peers[3];
    for (FakePeer& peer : peers) EXPECT_EQ(AttachFake(b, peer), 1) << "an attach to a busy instance hangs";

    PostMessageW(b, WM_CLOSE, 0, 0);
    HWND ask = WaitForDialogOf(b);
    ASSERT_TRUE(ask) << "closing with an open port asks first";
    PostMessageW(ask, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(WaitForSingleObject(child, kWait), WAIT_OBJECT_0) << "the child hangs while closing";
    CloseHandle(child);
    PostMessageW(a, WM_COMMAND, IDM_DISCONNECT, 0);
    EXPECT_TRUE(WaitUntil([&] { return WindowTextW(a) == L"未接続 - " + kTitle; }, kWait)) << "disconnect hangs";
    PostMessageW(a, WM_CLOSE, 0, 0);
    EXPECT_TRUE(a_.WaitForExit(std::chrono::milliseconds(kWait))) << "the parent hangs while closing";
}
