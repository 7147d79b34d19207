// Entry point of every test program: temporary files go to the run's scratch folder, and the
// runtime locale is the user's, as in the program.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv) {
    setlocale(LC_ALL, "");
    // Worker copies started by a test share their parent's temporary folder.
    wchar_t shared[MAX_PATH] = {};
    const std::wstring temp = GetEnvironmentVariableW(L"VELTRIMOX_SHARED_TEMP", shared, MAX_PATH) ? std::wstring(shared)
                                                                                                : MakeTempFolder(L"temp");
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
