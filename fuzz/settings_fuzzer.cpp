// Feeds arbitrary bytes to LoadSettings as settings.dat, in a silent run (no controls), and
// checks what it leaves in the record: texts only for the options it reports, each ending
// within its 1024-unit buffer, flags that name options only, and a record that writes back as
// a whole file. ASan and UBSan watch every
// read and write on the way.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "device.h"
#include "kernel/kernel.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "shell/Globals.h"

namespace fs = std::filesystem;

static fs::path g_settingsHostPath;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ce::Device& opened = ce::fuzz::openDevice("settings_fuzzer");
    ce::kernel::setModulePath(u"\\Program Files\\Varnello\\Varnello.exe");
    g_settingsHostPath = *opened.hostPath(u"\\Program Files\\Varnello\\settings.dat");
    fs::create_directories(g_settingsHostPath.parent_path());
    g_bSilent = TRUE;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream out(g_settingsHostPath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), (std::streamsize)size);
    }
    CSettings settings;
    LONG flags = LoadSettings(&settings);
    if (flags != -1 && (flags & ~0x01FFFFFF))
        std::abort();  // a flags word with bits that name no option
    for (int field = 0; field < SF_TEXT_COUNT; field++) {
        LPWSTR text = *SettingTextField(&settings, field);
        const SETTING_ROW* row = FindSettingRowByField(field);
        bool reported = flags != -1 && (flags & row->bit);
        if ((text != nullptr) != reported)
            std::abort();  // a text without its option, or an option without its text
        if (text) {
            int length = 0;
            while (length < SETTINGS_TEXT_UNITS && text[length]) length++;
            if (length >= SETTINGS_TEXT_UNITS)
                std::abort();  // not terminated within its buffer
        }
    }
    // What was restored writes back as a whole file that reads the same.
    if (flags != -1) {
        static BYTE written[SETTINGS_FILE_MAX_BYTES];
        DWORD size = EncodeSettingsFile(&settings, (DWORD)flags, written);
        CSettings again;
        DWORD againFlags = 0;
        if (DecodeSettingsFile(written, size, &again, &againFlags) != SRR_WHOLE ||
            againFlags != (DWORD)flags)
            std::abort();
    }
    return 0;
}
