#include "automation/registrar.h"

#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"

namespace {

constexpr size_t kMaxLine = 65535;
constexpr size_t kMaxText = 4095;  // a name or value after expansion

struct Word {
    std::string text;
    bool quoted = false;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Splits a line into words. A word that begins with a quote runs to the next
// quote followed by a blank or the end; two quotes inside it stand for one.
std::vector<Word> SplitWords(std::string_view line)
{
    std::vector<Word> words;
    size_t i = 0;
    while (i < line.size()) {
        if (IsBlank(line[i])) {
            ++i;
            continue;
        }
        Word word;
        if (line[i] == '\'') {
            word.quoted = true;
            ++i;
            while (i < line.size()) {
                if (line[i] == '\'') {
                    if (i + 1 < line.size() && line[i + 1] == '\'') {
                        word.text += '\'';
                        i += 2;
                        continue;
                    }
                    if (i + 1 == line.size() || IsBlank(line[i + 1])) {
                        ++i;
                        break;
                    }
                }
                word.text += line[i++];
            }
        } else {
            while (i < line.size() && !IsBlank(line[i])) word.text += line[i++];
            if (word.text.starts_with("//")) break;  // the rest of the line is a comment
        }
        words.push_back(std::move(word));
    }
    return words;
}

// %MODULE%, %NAME% (environment) and %%; nothing when the result is too long.
std::optional<std::wstring> Expand(const std::string& text, const wchar_t* modulePath)
{
    std::wstring in = SjisToWide(text), out;
    for (size_t i = 0; i < in.size(); ++i) {
        size_t close = in[i] == L'%' ? in.find(L'%', i + 1) : std::wstring::npos;
        if (close == std::wstring::npos) {
            out += in[i];
        } else if (close == i + 1) {
            out += L'%';
            i = close;
        } else {
            std::wstring name = in.substr(i + 1, close - i - 1);
            if (name == L"MODULE") {
                out += modulePath;
            } else {
                wchar_t value[kMaxText + 2];
                DWORD n = GetEnvironmentVariableW(name.c_str(), value, kMaxText + 2);
                if (n > kMaxText) return std::nullopt;
                out.append(value, n);
            }
            i = close;
        }
        if (out.size() > kMaxText) return std::nullopt;
    }
    return out;
}

enum class Flag { None, ForceRemove, NoRemove, Delete };

struct Statement {
    enum Kind { Empty, Key, Value, BlockStart, BlockEnd, Dropped, Invalid } kind = Empty;
    Flag flag = Flag::None;
    std::wstring name;
    bool hasData = false;
    DWORD type = REG_SZ;
    std::wstring data;
};

std::optional<Flag> FlagOf(const Word& w)
{
    if (w.quoted) return std::nullopt;
    if (w.text == "ForceRemove") return Flag::ForceRemove;
    if (w.text == "NoRemove") return Flag::NoRemove;
    if (w.text == "Delete") return Flag::Delete;
    return std::nullopt;
}

bool Is(const Word& w, const char* keyword) { return !w.quoted && w.text == keyword; }

// Reads `= s|d value` at words[at]: Dropped for a word out of place,
// Invalid when the line ends before the form does.
Statement::Kind ReadData(const std::vector<Word>& words, size_t at, Statement& s, const wchar_t* modulePath)
{
    if (at >= words.size()) return Statement::Invalid;
    if (!Is(words[at], "=")) return Statement::Dropped;
    if (at + 1 >= words.size()) return Statement::Invalid;
    if (Is(words[at + 1], "s")) s.type = REG_SZ;
    else if (Is(words[at + 1], "d")) s.type = REG_DWORD;
    else return Statement::Dropped;
    if (at + 2 >= words.size()) return Statement::Invalid;
    if (words.size() > at + 3) return Statement::Dropped;
    std::optional<std::wstring> data = Expand(words[at + 2].text, modulePath);
    if (!data) return Statement::Dropped;
    s.hasData = true;
    s.data = std::move(*data);
    return Statement::Empty;  // no objection
}

Statement Parse(const std::vector<Word>& words, const wchar_t* modulePath)
{
    Statement s;
    if (words.empty()) return s;
    auto result = [&s](Statement::Kind kind) { s.kind = kind; return s; };
    if (Is(words[0], "{") || Is(words[0], "}"))
        return result(words.size() > 1 ? Statement::Dropped : Is(words[0], "{") ? Statement::BlockStart : Statement::BlockEnd);
    size_t at = 0;
    Statement::Kind kind = Statement::Key;
    if (Is(words[0], "val")) {
        kind = Statement::Value;
        at = 1;
    } else if (std::optional<Flag> flag = FlagOf(words[0])) {
        s.flag = *flag;
        at = 1;
    }
    if (at >= words.size()) return result(Statement::Invalid);
    if (FlagOf(words[at]) || Is(words[at], "val")) return result(Statement::Dropped);
    std::optional<std::wstring> name = Expand(words[at].text, modulePath);
    if (!name) return result(Statement::Dropped);
    s.name = std::move(*name);
    if (kind == Statement::Value || words.size() > at + 1) {
        Statement::Kind objection = ReadData(words, at + 1, s, modulePath);
        if (objection != Statement::Empty) return result(objection);
    }
    return result(kind);
}

HRESULT FromWin32(LONG code) { return code == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(code); }

LONG SetValue(HKEY key, const wchar_t* name, const Statement& s)
{
    if (s.type == REG_DWORD) {
        DWORD number = wcstoul(s.data.c_str(), nullptr, 10);
        return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    }
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(s.data.c_str()),
                          static_cast<DWORD>((s.data.size() + 1) * sizeof(wchar_t)));
}

// Depth first: the first subkey again and again until none is left.
LONG DeleteTree(HKEY parent, const wchar_t* name)
{
    HKEY key;
    LONG status = RegOpenKeyExW(parent, name, 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) return status;
    for (;;) {
        wchar_t child[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (DeleteTree(key, child) != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
    return RegDeleteKeyW(parent, name);
}

std::optional<HKEY> RootKey(const std::wstring& name)
{
    static const struct { const wchar_t* name; HKEY key; } kRoots[] = {
        {L"HKCR", HKEY_CLASSES_ROOT},  {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {L"HKCU", HKEY_CURRENT_USER},  {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {L"HKLM", HKEY_LOCAL_MACHINE}, {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {L"HKEY_USERS", HKEY_USERS},
    };
    for (const auto& root : kRoots)
        if (name == root.name) return root.key;
    return std::nullopt;
}

// One block of the script. `key` is the key its statements work under (null
// at the top, where keys name roots); `pending` the last key statement of
// the block, finished by the next one or by the end of the block.
struct Scope {
    HKEY key = nullptr;
    bool top = false;
    bool skipped = false;
    struct {
        HKEY key = nullptr;  // open key, or null when none (or skipped)
        bool root = false;
        Flag flag = Flag::None;
        std::wstring name;
    } pending;
};

class ScriptRun {
public:
    ScriptRun(const wchar_t* modulePath, RegistrarMode mode) : modulePath_(modulePath), mode_(mode)
    {
        Scope top;
        top.top = true;
        scopes_.push_back(top);
    }
    ~ScriptRun()
    {
        while (!scopes_.empty()) {
            Finish(scopes_.back());
            scopes_.pop_back();
        }
    }

    // False when the run stops.
    bool Line(std::string_view line)
    {
        Statement s = Parse(SplitWords(line), modulePath_);
        switch (s.kind) {
        case Statement::Invalid: result_ = E_FAIL; return false;
        case Statement::Key: return KeyStatement(s);
        case Statement::Value: ValueStatement(s); return true;
        case Statement::BlockStart: OpenBlock(); return true;
        case Statement::BlockEnd:
            if (scopes_.size() == 1) {
                result_ = E_FAIL;
                return false;
            }
            Finish(scopes_.back());
            scopes_.pop_back();
            return true;
        default: return true;  // empty, comment or dropped
        }
    }
    HRESULT Result() const { return result_; }

private:
    bool KeyStatement(const Statement& s)
    {
        Scope& scope = scopes_.back();
        Finish(scope);
        if (scope.top) {
            std::optional<HKEY> root = RootKey(s.name);
            if (!root) {
                result_ = E_FAIL;
                return false;
            }
            scope.pending.key = *root;
            scope.pending.root = true;
            return true;
        }
        if (scope.skipped || !scope.key) return true;
        if (mode_ == RegistrarMode::Register && s.flag == Flag::ForceRemove) DeleteTree(scope.key, s.name.c_str());
        HKEY key;
        DWORD disposition = 0;
        LONG status = RegCreateKeyExW(scope.key, s.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                      nullptr, &key, &disposition);
        result_ = FromWin32(status);
        if (status != ERROR_SUCCESS) return true;  // its block is skipped
        if (mode_ == RegistrarMode::Unregister && disposition == REG_CREATED_NEW_KEY) {
            // It was not there: take it away again, and everything below it with it.
            RegCloseKey(key);
            result_ = FromWin32(RegDeleteKeyW(scope.key, s.name.c_str()));
            return true;
        }
        if (mode_ == RegistrarMode::Register && s.hasData) result_ = FromWin32(SetValue(key, nullptr, s));
        scope.pending.key = key;
        scope.pending.flag = s.flag;
        scope.pending.name = s.name;
        return true;
    }

    void ValueStatement(const Statement& s)
    {
        const Scope& scope = scopes_.back();
        if (scope.top || scope.skipped || !scope.key || mode_ == RegistrarMode::Unregister) return;
        result_ = FromWin32(SetValue(scope.key, s.name.c_str(), s));
    }

    void OpenBlock()
    {
        const Scope& outer = scopes_.back();
        Scope inner;
        inner.key = outer.pending.key;
        inner.skipped = outer.skipped || !inner.key;
        scopes_.push_back(inner);
    }

    // Closes the scope's last key; Delete keys (register) and all but
    // NoRemove keys (unregister) go, without their subkeys.
    void Finish(Scope& scope)
    {
        auto& p = scope.pending;
        if (p.key && !p.root) {
            RegCloseKey(p.key);
            bool remove = mode_ == RegistrarMode::Register ? p.flag == Flag::Delete : p.flag != Flag::NoRemove;
            if (remove) result_ = FromWin32(RegDeleteKeyW(scope.key, p.name.c_str()));
        }
        p = {};
    }

    const wchar_t* modulePath_;
    RegistrarMode mode_;
    std::vector<Scope> scopes_;
    HRESULT result_ = S_OK;
};

} // namespace

HRESULT RunRegistryScriptText(std::string_view script, const wchar_t* modulePath, RegistrarMode mode)
{
    ScriptRun run(modulePath, mode);
    while (!script.empty()) {
        size_t end = script.find('\n');
        std::string line(script.substr(0, end));
        script = end == std::string_view::npos ? std::string_view() : script.substr(end + 1);
        if (line.size() > kMaxLine) continue;  // longer than any statement may be
        TrimTrailingSpace(line.data());
        if (!run.Line(line.c_str())) break;
    }
    return run.Result();
}

HRESULT RunRegistryScript(HMODULE module, int number, RegistrarMode mode)
{
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(number), L"RGS");
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return HRESULT_FROM_WIN32(GetLastError());
    wchar_t path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(module, path, MAX_PATH * 4);
    if (n == 0 || n >= MAX_PATH * 4) return HRESULT_FROM_WIN32(GetLastError());
    return RunRegistryScriptText(std::string_view(static_cast<const char*>(bytes), SizeofResource(module, found)), path,
                                 mode);
}
