// sensor-monitor.com: the console front of sensor-monitor.exe. A program with
// a window is not waited for by cmd.exe or PowerShell, so its --help would
// print after the prompt came back and %ERRORLEVEL% would not be its status.
// This console program of the same name (found before the .exe on the PATH)
// starts the .exe beside it with the same arguments and standard handles,
// waits for it and returns its exit status. Plain Win32, no C++ library.
#include <windows.h>

namespace {

constexpr DWORD kCannotStart = 1;

// The command line after the program's name, exactly as the caller wrote it:
// the program's name ends at its closing quote, or unquoted at the first
// blank, and takes no escapes; the arguments go on unparsed, so that the
// .exe splits them as it would have.
const wchar_t *argumentsOf(const wchar_t *commandLine)
{
    const wchar_t *at = commandLine;
    if (*at == L'"') {
        ++at;
        while (*at != L'\0' && *at != L'"')
            ++at;
        if (*at == L'"')
            ++at;
    } else {
        while (*at != L'\0' && *at != L' ' && *at != L'\t')
            ++at;
    }
    while (*at == L' ' || *at == L'\t')
        ++at;
    return at;
}

// This program's path with ".exe" in place of its own extension; false when
// the path does not fit.
bool partnerPath(wchar_t *path, DWORD size)
{
    const DWORD length = GetModuleFileNameW(nullptr, path, size);
    if (length == 0 || length >= size)
        return false;
    wchar_t *dot = nullptr;
    for (wchar_t *at = path; *at != L'\0'; ++at) {
        if (*at == L'.')
            dot = at;
        else if (*at == L'\\' || *at == L'/')
            dot = nullptr;
    }
    if (dot == nullptr)
        dot = path + length;
    if (dot + 5 > path + size)
        return false;
    lstrcpyW(dot, L".exe");
    return true;
}

// To a console as its own text, elsewhere in the system's code page, as
// the .exe writes its own messages.
void writeError(const wchar_t *text)
{
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(err, &mode)) {
        WriteConsoleW(err, text, static_cast<DWORD>(lstrlenW(text)), &written, nullptr);
        return;
    }
    char bytes[4096];
    const int count = WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
    if (count > 1)
        WriteFile(err, bytes, static_cast<DWORD>(count - 1), &written, nullptr);
}

// "sensor-monitor: cannot start PATH: REASON" on stderr.
DWORD reportCannotStart(const wchar_t *path)
{
    const DWORD error = GetLastError();
    wchar_t reason[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, reason,
                   sizeof reason / sizeof reason[0], nullptr);
    writeError(L"sensor-monitor: cannot start ");
    writeError(path);
    writeError(L": ");
    writeError(reason[0] != L'\0' ? reason : L"\r\n");
    return kCannotStart;
}

// The child gets our standard handles; they must be inheritable for that.
HANDLE inheritable(DWORD stream)
{
    const HANDLE handle = GetStdHandle(stream);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return handle;
}

} // namespace

int main()
{
    wchar_t program[MAX_PATH * 2];
    if (!partnerPath(program, sizeof program / sizeof program[0])) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return static_cast<int>(reportCannotStart(L"sensor-monitor.exe"));
    }
    const wchar_t *arguments = argumentsOf(GetCommandLineW());
    // "C:\...\sensor-monitor.exe" ARGUMENTS: a path never holds a quote.
    const int size = lstrlenW(program) + lstrlenW(arguments) + 4;
    auto *commandLine = static_cast<wchar_t *>(HeapAlloc(GetProcessHeap(), 0, size * sizeof(wchar_t)));
    if (commandLine == nullptr)
        return static_cast<int>(reportCannotStart(program));
    lstrcpyW(commandLine, L"\"");
    lstrcatW(commandLine, program);
    lstrcatW(commandLine, L"\" ");
    lstrcatW(commandLine, arguments);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable(STD_INPUT_HANDLE);
    startup.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = inheritable(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(program, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child))
        return static_cast<int>(reportCannotStart(program));
    CloseHandle(child.hThread);
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = kCannotStart;
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hProcess);
    return static_cast<int>(status);
}
