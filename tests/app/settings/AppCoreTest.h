// Shared by the settings, tweaks and search suites: the real Varnello run through the test
// driver on a fresh device, and small readers of what it left on the device.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gwes/driver.h"
#include "testing/device.h"
#include "screens/Screens.h"
#include "settings/Settings.h"
#include "shell/Globals.h"
#include "shell/ShellWindows.h"

namespace appcore {

namespace fs = std::filesystem;
using ce::test::Driver;
using ce::test::DriverError;
using ce::test::MessageBoxInfo;
using ce::test::Query;
using ce::test::TempDevice;
using Bytes = std::vector<uint8_t>;

inline const char16_t kProgramFolder[] = u"\\Program Files\\Varnello";
inline const char16_t kSettingsFile[] = u"\\Program Files\\Varnello\\settings.dat";
inline const char16_t kStartupShortcut[] = u"\\Windows\\StartUp\\Varnello.lnk";

inline Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), (std::streamsize)bytes.size());
}

inline std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A host file of `size` bytes (parents created).
inline void MakeFile(const fs::path& path, size_t size) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(size, 'v');
}

inline void PutDword(Bytes& bytes, uint32_t value) {
    for (int i = 0; i < 4; i++) bytes.push_back((uint8_t)(value >> (8 * i)));
}

inline void PutText(Bytes& bytes, const std::u16string& text) {
    PutDword(bytes, (uint32_t)text.size());
    for (char16_t unit : text) {
        bytes.push_back((uint8_t)(unit & 0xFF));
        bytes.push_back((uint8_t)(unit >> 8));
    }
}

// Registry access from the test, on the current device.
inline std::optional<DWORD> RegDword(HKEY root, const std::u16string& key,
                                     const std::u16string& value) {
    HKEY hKey = NULL;
    if (RegOpenKeyExW(root, key.c_str(), 0, 0, &hKey) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD data = 0, size = sizeof(data), type = 0;
    LONG result = RegQueryValueExW(hKey, value.c_str(), NULL, &type, (BYTE*)&data, &size);
    RegCloseKey(hKey);
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != 4)
        return std::nullopt;
    return data;
}

inline std::optional<std::u16string> RegString(HKEY root, const std::u16string& key,
                                               const std::u16string& value) {
    HKEY hKey = NULL;
    if (RegOpenKeyExW(root, key.c_str(), 0, 0, &hKey) != ERROR_SUCCESS)
        return std::nullopt;
    WCHAR data[1024] = {0};
    DWORD size = sizeof(data) - sizeof(WCHAR), type = 0;
    LONG result = RegQueryValueExW(hKey, value.c_str(), NULL, &type, (BYTE*)data, &size);
    RegCloseKey(hKey);
    if (result != ERROR_SUCCESS)
        return std::nullopt;
    // A string value's size counts its terminator.
    std::u16string text(data, size / sizeof(WCHAR));
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
}

inline void SetRegDword(HKEY root, const std::u16string& key, const std::u16string& value,
                        DWORD data) {
    HKEY hKey = NULL;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, NULL, 0, 0, NULL, &hKey, &disposition),
              ERROR_SUCCESS);
    RegSetValueExW(hKey, value.c_str(), 0, REG_DWORD, (const BYTE*)&data, sizeof(data));
    RegCloseKey(hKey);
}

inline void SetRegString(HKEY root, const std::u16string& key, const std::u16string& value,
                         const std::u16string& data) {
    HKEY hKey = NULL;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, NULL, 0, 0, NULL, &hKey, &disposition),
              ERROR_SUCCESS);
    RegSetValueExW(hKey, value.c_str(), 0, REG_SZ, (const BYTE*)data.c_str(),
                   (DWORD)((data.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(hKey);
}

inline void DeleteRegValue(HKEY root, const std::u16string& key, const std::u16string& value) {
    HKEY hKey = NULL;
    if (RegOpenKeyExW(root, key.c_str(), 0, 0, &hKey) == ERROR_SUCCESS) {
        RegDeleteValueW(hKey, value.c_str());
        RegCloseKey(hKey);
    }
}

inline bool RegKeyExists(HKEY root, const std::u16string& key) {
    HKEY hKey = NULL;
    if (RegOpenKeyExW(root, key.c_str(), 0, 0, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

inline std::u16string WindowText(HWND hwnd) {
    WCHAR buffer[2048] = {0};
    SendMessageW(hwnd, WM_GETTEXT, 2048, (LPARAM)buffer);
    return std::u16string(buffer);
}

inline HWND Control(int screen, int pos) {
    return g_pScreens->GetScreenItems(screen).GetAt(pos);
}

inline bool IsChecked(int screen, int pos) {
    return SendMessageW(Control(screen, pos), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// The entries of a list box, in list order.
inline std::vector<std::u16string> ListEntries(HWND hwndList) {
    std::vector<std::u16string> entries;
    LRESULT count = SendMessageW(hwndList, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        WCHAR buffer[2048] = {0};
        SendMessageW(hwndList, LB_GETTEXT, i, (LPARAM)buffer);
        entries.push_back(buffer);
    }
    return entries;
}

// One device, on which the program may be started several times in a row.
class AppCoreTest : public ::testing::Test {
  protected:
    explicit AppCoreTest(TempDevice::Contents contents = TempDevice::Contents::Factory)
        : device_(contents) {
        // The program lives in its folder, as after an installation: settings.dat goes there.
        fs::create_directories(device_.host(kProgramFolder));
    }
    ~AppCoreTest() override {
        if (driver_ && driver_->running())
            driver_->stop();
    }

    Driver& Start(const std::u16string& commandLine = u"") {
        End();
        driver_ = std::make_unique<Driver>(WinMain, commandLine);
        return *driver_;
    }
    // Starts the program with no option ticked.
    Driver& StartPlain(const std::u16string& commandLine = u"") {
        End();
        WriteBytes(SettingsPath(), {0, 0, 0, 0});
        return Start(commandLine);
    }
    // Ends a program that still runs as a person would, with Exit, so that it frees what it made
    // before the next one starts; one that cannot take the menu (a box or a dialog is up) is
    // stopped where it is, as a process that is killed. settings.dat stays as the test left it:
    // the next start reads what the test wrote, not what this program saved.
    void End() {
        if (driver_ && driver_->running() && !driver_->messageBox()) {
            std::error_code ec;
            bool had = fs::exists(SettingsPath(), ec);
            Bytes saved = had ? ReadBytes(SettingsPath()) : Bytes{};
            try {
                driver_->menu(u"Varnello", u"Exit");
            } catch (const std::exception&) {
            }
            if (had)
                WriteBytes(SettingsPath(), saved);
            else
                fs::remove(SettingsPath(), ec);
        }
        if (driver_ && driver_->running())
            driver_->stop();
        driver_.reset();
    }
    Driver& driver() { return *driver_; }

    // The program's own menu: Exit saves the settings and ends the program.
    void Exit() {
        driver_->menu(u"Varnello", u"Exit");
        ASSERT_FALSE(driver_->running()) << ::testing::PrintToString(driver_->describeScreen());
    }

    // Both Apply commands end with the "Cleaning Finished" box; returns its text.
    std::u16string ApplyAndFinish(bool allowRestart) {
        driver_->menu(u"Apply", allowRestart ? u"Allow Restart" : u"Defer Restart");
        auto box = driver_->messageBox();
        EXPECT_TRUE(box.has_value()) << ::testing::PrintToString(driver_->describeScreen());
        if (!box)
            return u"";
        EXPECT_EQ(box->caption, u"Cleaning Finished");
        std::u16string text = box->text;
        driver_->answer(IDOK);
        return text;
    }

    // Ticks a check box the way a person does: its screen's tab, then the box.
    void ShowScreen(const std::u16string& tab) { driver_->tapText(tab); }
    void Tap(int id) { driver_->tapId(id); }

    // Sets a control's text directly: edits without ES_AUTOHSCROLL refuse typing past their width.
    void SetText(int screen, int pos, const std::u16string& text) {
        SendMessageW(Control(screen, pos), WM_SETTEXT, 0, (LPARAM)text.c_str());
    }

    fs::path Host(const std::u16string& devicePath) const { return device_.host(devicePath); }
    fs::path SettingsPath() const { return device_.host(kSettingsFile); }

    TempDevice device_;
    std::unique_ptr<Driver> driver_;
};

}  // namespace appcore
