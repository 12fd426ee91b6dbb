// For the Windows smoke run: holds a file open and shared with nobody, as a program that is writing it does, until
// the process is ended. Windows then refuses every other open of the file.
#include <windows.h>

#include <shellapi.h>

int main()
{
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argc != 2)
        return 2;
    const HANDLE file = ::CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    ::Sleep(INFINITE);
}
