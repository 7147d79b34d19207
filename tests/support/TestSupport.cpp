#include "TestSupport.h"

#include "common/PathText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

void MakeFolder(const std::wstring& path) {
    for (size_t i = path.rfind(L"\\\\?\\", 0) == 0 ? 7 : 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
}

}  // namespace

std::wstring FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    EXPECT_TRUE(value && *value) << name << " is not set: run the tests through the test command";
    std::wstring path = L"Z:";
    for (const char* c = value ? value : ""; *c; ++c) path += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    return path;
}

std::wstring MakeTempFolder(const std::wstring& hint) {
    static std::atomic<int> counter{0};
    const std::wstring path = FromEnvironment("VELTRIMOX_SCRATCH") + L"\\" + hint + L"-" + std::to_wstring(counter++);
    MakeFolder(path);
    return path;
}

void WriteTestFile(const std::wstring& plain, const std::string& content) {
    const std::wstring path = SystemPath(plain);
    MakeFolder(path.substr(0, path.find_last_of(L'\\')));
    std::ofstream file(std::filesystem::path(path), std::ios::binary);
    EXPECT_TRUE(file.write(content.data(), static_cast<std::streamsize>(content.size())).flush()) << Utf8(path);
}

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Utf8(const std::wstring& text) {
    std::string out(text.size() * 3, '\0');
    out.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                                       static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

std::string ReadTextFile(const std::wstring& path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::wstring MakeFakeArchiverDir(const std::wstring& parent) {
    wchar_t self[MAX_PATH] = {};
    const std::wstring tests(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    WriteTestFile(parent + L"\\7z.dll", "");
    const std::wstring fake = tests.substr(0, tests.find_last_of(L'\\') + 1) + L"fake_archiver.exe";
    EXPECT_TRUE(CopyFileW(fake.c_str(), (parent + L"\\7z.exe").c_str(), FALSE)) << Utf8(fake);
    return parent;
}

// Every test program: temporary files go to the run's scratch folder, and the runtime locale is
// the user's, as in the program.
int main(int argc, char** argv) {
    setlocale(LC_ALL, "");
    // A crash fails the program: under Wine it would otherwise end with exit code 0.
    SetUnhandledExceptionFilter([](EXCEPTION_POINTERS* crash) -> LONG {
        std::fprintf(stderr, "crashed: exception %08lX\n", static_cast<unsigned long>(crash->ExceptionRecord->ExceptionCode));
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
        return EXCEPTION_EXECUTE_HANDLER;
    });
    const std::wstring temp = MakeTempFolder(L"temp");
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
