// A stand-in for the tar.exe Windows ships in System32, for the tests under Wine (whose prefix has
// none): `tar cvf ARCHIVE .` hands the work to the build machine's GNU tar, so that a directory
// wrapped by the Windows program holds the same archive, byte for byte, as one wrapped on Linux.
// Wine starts a Linux program but gives no handle to wait on: the shell it runs leaves the exit
// status in a file, which this program waits for.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace {

// Wine's own translation of a Windows path into the Linux one.
std::string unix_path(const std::wstring& windows_path)
{
    using Translate = char*(CDECL*)(LPCWSTR);
    const auto translate = reinterpret_cast<Translate>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!translate)
        return {};
    char* path = translate(windows_path.c_str());
    std::string result = path ? path : "";
    HeapFree(GetProcessHeap(), 0, path);
    return result;
}

std::wstring current_directory()
{
    std::wstring directory(GetCurrentDirectoryW(0, nullptr), L'\0');
    directory.resize(GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data()));
    return directory;
}

std::wstring widened(const std::string& text)
{
    return std::wstring(text.begin(), text.end()); // the paths of the tests are ASCII
}

// An argument as the command line carries it (the paths and the script hold no backslash).
std::wstring windows_quoted(const std::wstring& argument)
{
    std::wstring quoted = L"\"";
    for (const wchar_t c : argument)
        quoted += c == L'"' ? std::wstring(L"\\\"") : std::wstring(1, c);
    return quoted + L"\"";
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4 || std::wstring(argv[1]) != L"cvf" || std::wstring(argv[3]) != L".") {
        std::fputs("usage: tar cvf ARCHIVE .\n", stderr);
        return 2;
    }
    const std::string archive = unix_path(argv[2]);
    const std::string directory = unix_path(current_directory());
    if (archive.empty() || directory.empty())
        return 2;
    const std::string status = archive + ".status";
    const std::string script =
        "tar cvf \"$0\" -C \"$1\" . >/dev/null 2>&1; echo $? >\"$2.part\"; mv \"$2.part\" \"$2\"";
    std::wstring command;
    for (const std::string& argument : {std::string("/bin/sh"), std::string("-c"), script, archive, directory, status})
        command += windows_quoted(widened(argument)) + L" ";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return 2;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const std::string status_file = "Z:" + status;
    for (int waited = 0; waited < 600; ++waited) {
        std::ifstream file(status_file);
        int code = 0;
        if (file >> code) {
            file.close();
            std::remove(status_file.c_str());
            return code;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 2;
}
