// One Apply of chosen options, run the way a person does it (ticking boxes and typing folders,
// then "Apply" > "Defer Restart") or the way the device does it at start (settings.dat, then the
// silent run), and what the device holds around it.
#pragma once

#include "AppCoreTest.h"

#include <map>

#include "settings/SettingsTable.h"

namespace appcore {

inline const char16_t* const kScreenTabs[] = {u"Clean Temp Files", u"Pocket IE", u"Registry",
                                              u"System Folders",   u"Shortcuts", u"Performance"};

// A folder text for the option that carries one.
struct OptionText {
    SETTING_FIELD field;
    std::u16string text;
};

enum class RunMode { Interactive, Silent };

inline std::string ModeName(RunMode mode) {
    return mode == RunMode::Interactive ? "interactive" : "silent";
}

inline const SETTING_ROW* RowOfBit(DWORD bit) {
    for (int i = 0; i < g_settingRowCount; i++) {
        if (g_settingRows[i].bit == bit)
            return &g_settingRows[i];
    }
    return nullptr;
}

// Every file and folder below a host folder: a file with its bytes, a folder as "<folder>", a
// link as "<link>".
using Tree = std::map<std::string, std::string>;

inline Tree TakeTree(const fs::path& folder) {
    Tree tree;
    for (auto it = fs::recursive_directory_iterator(folder);
         it != fs::recursive_directory_iterator(); ++it) {
        std::string name = fs::relative(it->path(), folder).string();
        if (it->is_symlink())
            tree[name] = "<link>";
        else if (it->is_directory())
            tree[name] = "<folder>";
        else
            tree[name] = ReadText(it->path());
    }
    return tree;
}

// The entries that differ between two snapshots.
inline std::vector<std::string> Changed(const Tree& before, const Tree& after) {
    std::vector<std::string> changed;
    for (const auto& [name, content] : before) {
        auto it = after.find(name);
        if (it == after.end() || it->second != content)
            changed.push_back(name);
    }
    for (const auto& [name, content] : after) {
        if (!before.count(name))
            changed.push_back(name);
    }
    return changed;
}

// Equal trees, or the names of the entries that differ (not their bytes).
inline ::testing::AssertionResult SameTree(const Tree& expected, const Tree& actual) {
    std::vector<std::string> changed = Changed(expected, actual);
    if (changed.empty())
        return ::testing::AssertionSuccess();
    ::testing::AssertionResult result = ::testing::AssertionFailure();
    result << changed.size() << " entries differ:";
    for (size_t i = 0; i < changed.size() && i < 12; i++) result << " \"" << changed[i] << "\"";
    return result;
}

// True when name lies in one of the folders (host-relative, "/"-separated) or is one of them.
inline bool InsideAny(const std::string& name, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        if (name == folder || name.rfind(folder + "/", 0) == 0)
            return true;
    }
    return false;
}

class ApplyRunTest : public AppCoreTest {
  protected:
    // Runs one Apply with these options and texts, answers every box with OK and returns the
    // boxes in the order they came. The program ends afterwards.
    std::vector<MessageBoxInfo> RunApply(RunMode mode, const std::vector<DWORD>& bits,
                                         const std::vector<OptionText>& texts) {
        return mode == RunMode::Silent ? RunSilent(bits, texts) : RunInteractive(bits, texts);
    }

    std::vector<MessageBoxInfo> RunInteractive(const std::vector<DWORD>& bits,
                                               const std::vector<OptionText>& texts) {
        Driver& d = StartPlain();
        for (DWORD bit : bits) {
            const SETTING_ROW* row = RowOfBit(bit);
            ShowScreen(kScreenTabs[row->screen]);
            Tap(GetDlgCtrlID(Control(row->screen, row->checkPos)));
        }
        for (const OptionText& t : texts) {
            const SETTING_ROW* row = FindSettingRowByField(t.field);
            SetText(row->screen, row->valuePos, t.text);
        }
        d.menu(u"Apply", u"Defer Restart");
        std::vector<MessageBoxInfo> boxes = AnswerAll(d);
        // Ended as a person ends it, so that the program frees what it made.
        if (d.running() && !d.messageBox())
            d.menu(u"Varnello", u"Exit");
        if (d.running())
            d.stop();
        return boxes;
    }

    std::vector<MessageBoxInfo> RunSilent(const std::vector<DWORD>& bits,
                                          const std::vector<OptionText>& texts) {
        DWORD flags = 0;
        for (DWORD bit : bits) flags |= bit;
        CSettings settings;
        for (const OptionText& t : texts) {
            LPWSTR& field = *SettingTextField(&settings, t.field);
            field = new WCHAR[SETTINGS_TEXT_UNITS]();
            std::copy(t.text.begin(), t.text.end(), field);
        }
        End();
        std::vector<BYTE> bytes(SETTINGS_FILE_MAX_BYTES);
        DWORD size = EncodeSettingsFile(&settings, flags, bytes.data());
        bytes.resize(size);
        WriteBytes(SettingsPath(), Bytes(bytes.begin(), bytes.end()));
        Driver& d = Start(u"silent");
        std::vector<MessageBoxInfo> boxes = AnswerAll(d);
        EXPECT_FALSE(d.running()) << "the silent run did not end";
        return boxes;
    }

    // Answers boxes until the pass is over: the program ends (silent) or "Cleaning Finished"
    // and any "Restart Required" have been answered (interactive).
    std::vector<MessageBoxInfo> AnswerAll(Driver& d) {
        std::vector<MessageBoxInfo> boxes;
        for (int i = 0; i < 100 && d.running(); i++) {
            std::optional<MessageBoxInfo> box = d.messageBox();
            if (!box)
                break;
            boxes.push_back(*box);
            d.answer(IDOK);
        }
        return boxes;
    }

    static bool HasError(const std::vector<MessageBoxInfo>& boxes, const std::u16string& part) {
        for (const MessageBoxInfo& box : boxes) {
            if (box.caption == u"Error" && box.text.find(part) != std::u16string::npos)
                return true;
        }
        return false;
    }

    static std::string Describe(const std::vector<MessageBoxInfo>& boxes) {
        std::string text;
        for (const MessageBoxInfo& box : boxes) {
            text += "[";
            for (char16_t c : box.caption + u": " + box.text) text += c < 0x80 ? (char)c : '?';
            text += "] ";
        }
        return text;
    }
};

}  // namespace appcore
