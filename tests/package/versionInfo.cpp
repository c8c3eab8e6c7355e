// versioninfo FILE...: prints what Windows reads from each program's
// version resource and manifest, for the package tests. One block a file:
//
//   file=<path>
//   fixed=<FileVersion of VS_FIXEDFILEINFO as a.b.c.d>
//   FileVersion=... ProductVersion=... ProductName=... OriginalFilename=...
//   FileDescription=...          (one line each, from StringFileInfo 080404b0)
//   manifest=<the embedded manifest on one line>
//
// Output is UTF-8. Exit code 1 when a file has no version resource.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void printUtf8(const wchar_t* text)
{
    char buffer[4096];
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    if (n > 0)
        std::fputs(buffer, stdout);
}

bool printVersion(const wchar_t* path)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0)
        return false;
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(path, 0, size, data.data()))
        return false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed)
        std::printf("fixed=%u.%u.%u.%u\n", unsigned(HIWORD(fixed->dwFileVersionMS)),
                    unsigned(LOWORD(fixed->dwFileVersionMS)),
                    unsigned(HIWORD(fixed->dwFileVersionLS)),
                    unsigned(LOWORD(fixed->dwFileVersionLS)));
    static const wchar_t* const kNames[] = {L"FileVersion", L"ProductVersion", L"ProductName",
                                            L"OriginalFilename", L"FileDescription"};
    for (const wchar_t* name : kNames) {
        const std::wstring key = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
        wchar_t* value = nullptr;
        if (!VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
            continue;
        printUtf8(name);
        std::fputs("=", stdout);
        printUtf8(value);
        std::fputs("\n", stdout);
    }
    return true;
}

void printManifest(const wchar_t* path)
{
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return;
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    if (found) {
        const DWORD size = SizeofResource(module, found);
        const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
        std::string text(bytes, size);
        for (char& c : text)
            if (c == '\r' || c == '\n')
                c = ' ';
        std::printf("manifest=%s\n", text.c_str());
    }
    FreeLibrary(module);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int result = 0;
    for (int i = 1; i < argc; ++i) {
        std::fputs("file=", stdout);
        printUtf8(argv[i]);
        std::fputs("\n", stdout);
        if (!printVersion(argv[i]))
            result = 1;
        printManifest(argv[i]);
    }
    return result;
}
