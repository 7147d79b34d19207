#include "app/Settings.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

// Each file as it may be found: every value missing from it has its default.
TEST(Settings, ReadWithTheDefaultForWhatIsMissing) {
    const std::wstring defaultDir = L"C:\\Program Files\\7-Zip";
    const struct {
        std::string file;  // empty: none
        Settings expected;
    } cases[] = {
        {"", {defaultDir, L"", 10, 10, 640, 360}},
        {"[UserSetting]\r\ndir=D:\\7z\r\nignore=bak\r\n[SystemSetting]\r\nx= 120\r\ny= -8\r\nwidth= +5\r\nheight= 0\r\n",
         {L"D:\\7z", L"bak", 120, -8, 5, 0}},
        {"[SystemSetting]\r\nx=42px\r\ny=abc\r\nheight=\r\n[UserSetting]\r\nignore=\r\n", {defaultDir, L"", 42, 0, 640, 360}},
        {"[SystemSetting]\r\nx=-2147483648\r\ny=99999999999\r\n[Other]\r\nwidth=1\r\n", {defaultDir, L"", INT_MIN, INT_MAX, 640, 360}},
    };
    for (const auto& c : cases) {
        const std::wstring ini = MakeTempFolder(L"ini") + L"\\Veltrimox.ini";
        if (!c.file.empty()) WriteTestFile(ini, c.file);
        const Settings s = LoadSettings(ini), e = c.expected;
        EXPECT_EQ(std::tie(s.archiverDir, s.ignoreName, s.x, s.y, s.width, s.height),
                  std::tie(e.archiverDir, e.ignoreName, e.x, e.y, e.width, e.height)) << c.file;
    }
}
