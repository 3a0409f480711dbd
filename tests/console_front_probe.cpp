// Stands beside a copy of the console front as the program it starts: a
// program with a window, like sensor-monitor.exe, that writes each argument
// it was given (split as Qt splits them) on a line of its own in UTF-8 to the
// standard output it inherited, a line to the standard error, and exits with
// the number of arguments as its status.
#include <windows.h>
#include <shellapi.h>

namespace {

void writeUtf8(HANDLE stream, const wchar_t *text, int length)
{
    char bytes[4096];
    const int count = WideCharToMultiByte(CP_UTF8, 0, text, length, bytes, sizeof bytes, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(stream, bytes, static_cast<DWORD>(count), &written, nullptr);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    for (int k = 1; k < count; ++k) {
        writeUtf8(out, arguments[k], lstrlenW(arguments[k]));
        writeUtf8(out, L"\n", 1);
    }
    writeUtf8(GetStdHandle(STD_ERROR_HANDLE), L"probe: done\n", 12);
    LocalFree(arguments);
    return count - 1;
}
