#include "app/Settings.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

// The keys SavePlacement wrote, as the platform reads them back.
std::wstring StoredText(const std::wstring& file, const wchar_t* key) {
    wchar_t value[64] = {};
    GetPrivateProfileStringW(L"SystemSetting", key, L"<missing>", value, 64, file.c_str());
    return value;
}

class PlacementWindow {
public:
    PlacementWindow(int x, int y, int width, int height) {
        hwnd_ = CreateWindowExW(0, L"STATIC", L"placement", WS_OVERLAPPEDWINDOW, x, y, width, height, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
        if (!hwnd_) ADD_FAILURE() << "no window: is there an X display?";
        SetWindowPos(hwnd_, nullptr, x, y, width, height, SWP_NOZORDER);
    }
    ~PlacementWindow() { DestroyWindow(hwnd_); }
    HWND Handle() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

}  // namespace

TEST(Settings, DefaultsWithoutAFile) {
    const Settings s = LoadSettings(MakeTempFolder(L"ini") + L"\\missing.ini");
    EXPECT_EQ(s.archiverDir, L"C:\\Program Files\\7-Zip");
    EXPECT_EQ(s.ignoreName, L"");
    EXPECT_EQ(s.x, 10);
    EXPECT_EQ(s.y, 10);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 360);
}

TEST(Settings, TheExampleFileReadsAsWritten) {
    const std::wstring ini = MakeTempFolder(L"ini") + L"\\Veltrimox.ini";
    WriteTestFile(ini,
                  "[UserSetting]\r\ndir=D:\\Tools\\7-Zip\r\nignore=backup\r\n"
                  "[SystemSetting]\r\nx= 120\r\ny= 80\r\nwidth= 800\r\nheight= 600\r\n");
    const Settings s = LoadSettings(ini);
    EXPECT_EQ(s.archiverDir, L"D:\\Tools\\7-Zip");
    EXPECT_EQ(s.ignoreName, L"backup");
    EXPECT_EQ(s.x, 120);
    EXPECT_EQ(s.y, 80);
    EXPECT_EQ(s.width, 800);
    EXPECT_EQ(s.height, 600);
}

TEST(Settings, NegativeAndZeroValuesAreKept) {
    const std::wstring ini = MakeTempFolder(L"ini") + L"\\Veltrimox.ini";
    WriteTestFile(ini, "[SystemSetting]\r\nx= -8\r\ny=-30\r\nwidth= 0\r\n");
    const Settings s = LoadSettings(ini);
    EXPECT_EQ(s.x, -8);
    EXPECT_EQ(s.y, -30);
    EXPECT_EQ(s.width, 0) << "a stored 0 is not the default";
    EXPECT_EQ(s.height, 360) << "a missing key is";

    EXPECT_EQ(ParseProfileInt(L"  42", 7), 42);
    EXPECT_EQ(ParseProfileInt(L"", 7), 7);
    EXPECT_EQ(ParseProfileInt(L"abc", 7), 0);
    EXPECT_EQ(ParseProfileInt(L"12px", 7), 12);
    EXPECT_EQ(ParseProfileInt(L"-2147483648", 7), -2147483647 - 1);
    EXPECT_EQ(ParseProfileInt(L"99999999999", 7), 2147483647);
}

TEST(Settings, SavePlacementWritesTheRestoredRectangleAndKeepsTheRest) {
    const std::wstring ini = MakeTempFolder(L"ini") + L"\\Veltrimox.ini";
    WriteTestFile(ini, "[UserSetting]\r\ndir=D:\\Tools\\7-Zip\r\nignore=backup\r\n[Other]\r\nkey=value\r\n");
    {
        PlacementWindow window(-8, 20, 500, 300);
        ShowWindow(window.Handle(), SW_SHOWMAXIMIZED);
        SavePlacement(window.Handle(), ini);
    }
    EXPECT_EQ(StoredText(ini, L"x"), L"-8") << "the restored rectangle, not the maximised one";
    EXPECT_EQ(StoredText(ini, L"y"), L"20");
    EXPECT_EQ(StoredText(ini, L"width"), L"500");
    EXPECT_EQ(StoredText(ini, L"height"), L"300");
    const std::string text = ReadTextFile(ini);
    // Written as " -8"; Wine's profile writer drops blanks at the start of a value.
    EXPECT_NE(text.find(RunningUnderWine() ? "x=-8" : "x= -8"), std::string::npos) << text;
    EXPECT_NE(text.find("dir=D:\\Tools\\7-Zip"), std::string::npos) << text;
    EXPECT_NE(text.find("key=value"), std::string::npos) << text;

    const Settings s = LoadSettings(ini);
    EXPECT_EQ(s.x, -8);
    EXPECT_EQ(s.width, 500);
    EXPECT_EQ(s.ignoreName, L"backup");
}
