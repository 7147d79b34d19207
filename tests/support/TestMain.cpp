// Entry point of every test program: temporary files go to the run's scratch folder, and the
// runtime locale is the user's, as in the program.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv) {
    setlocale(LC_ALL, "");
    const std::wstring temp = MakeTempFolder(L"temp");
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
