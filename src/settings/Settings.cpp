// The settings record and settings.dat, the file beside the program that keeps the user's
// options from one run to the next.
#include "settings/Settings.h"

#include <windows.h>
#include <strsafe.h>

#include <new>
#include <stdio.h>

#include "screens/Screens.h"
#include "settings/SettingsTable.h"
#include "shell/Globals.h"

static const WCHAR c_szProgramFile[] = TEXT("Varnello.exe");
static const WCHAR c_szSettingsFile[] = TEXT("settings.dat");
static const WCHAR c_szSettingsCaption[] = TEXT("Error!!!");

CSettings::CSettings()
    : m_userDefined1Path(NULL),
      m_userDefined2Path(NULL),
      m_customExtension(NULL),
      m_ieCacheTarget(NULL),
      m_avantGoTarget(NULL),
      m_favoritesTarget(NULL),
      m_fontsTarget(NULL),
      m_myDocumentsTarget(NULL),
      m_ieCacheLimit(0),
      m_ieHistoryLimit(0),
      m_ieCookieLimit(0),
      m_fontCacheSize(0) {}

CSettings::~CSettings() {
    ReleaseAllSettingsTexts(this);
}

void ReleaseSettingsText(LPWSTR& field) {
    delete[] field;
    field = NULL;
}

void ReleaseAllSettingsTexts(CSettings* pSettings) {
    for (int field = 0; field < SF_TEXT_COUNT; field++)
        ReleaseSettingsText(*SettingTextField(pSettings, field));
}

static void ShowSettingsError(LPCWSTR text) {
    ShowError(text, c_szSettingsCaption);
}

// settings.dat lives beside the program, which is always named Varnello.exe: the folder is the
// module path without that name. NULL (after telling the user) when there is no usable folder.
LPWSTR GetSettingsFilePath() {
    WCHAR modulePath[SETTINGS_TEXT_UNITS];
    modulePath[0] = 0;
    DWORD length = GetModuleFileNameW(NULL, modulePath, SETTINGS_TEXT_UNITS);
    if (length == 0) {
        ShowSettingsError(TEXT("Failed retrieving application directory"));
        return NULL;
    }
    // A path that filled the whole buffer was cut, and one shorter than the program's own file
    // name has no folder to cut it from: neither names the folder the program runs from.
    DWORD nameLength = (DWORD)(sizeof(c_szProgramFile) / sizeof(WCHAR)) - 1;
    if (length >= SETTINGS_TEXT_UNITS || length < nameLength) {
        ShowSettingsError(TEXT("Failed retrieving application directory"));
        return NULL;
    }
    modulePath[length - nameLength] = 0;

    LPWSTR pPath = new (std::nothrow) WCHAR[SETTINGS_TEXT_UNITS];
    if (!pPath)
        return NULL;
    if (FAILED(StringCchPrintfW(pPath, SETTINGS_TEXT_UNITS, TEXT("%s%s"), modulePath,
                                c_szSettingsFile))) {
        ShowSettingsError(TEXT("Failed retrieving application directory"));
        delete[] pPath;
        return NULL;
    }
    return pPath;
}

void SaveSettings(CSettings* pSettings) {
    LPWSTR pPath = GetSettingsFilePath();
    if (!pPath)
        return;

    FILE* pFile = _wfopen(pPath, TEXT("wb"));
    delete[] pPath;
    if (!pFile) {
        ShowSettingsError(
            TEXT("Failed saving settings: settings.dat could not be opened for writing"));
        return;
    }

    DWORD flags = GatherSettings(pSettings);
    BYTE* pBytes = new (std::nothrow) BYTE[SETTINGS_FILE_MAX_BYTES];
    BOOL written = FALSE;
    if (pBytes) {
        DWORD size = EncodeSettingsFile(pSettings, flags, pBytes);
        written = fwrite(pBytes, 1, size, pFile) == size;
        delete[] pBytes;
    }
    // A full store may only show up when the last buffered bytes go out, at the close.
    BOOL closed = fclose(pFile) == 0;
    if (!written || !closed)
        ShowSettingsError(TEXT("Failed saving settings: settings.dat could not be written"));

    // Whatever happened, the gathered texts are not kept.
    ReleaseAllSettingsTexts(pSettings);
}

// The first run's choice, "Disable window animation", shown ticked until the user saves options
// of their own.
static void CheckFirstRunDefault() {
    HWND hwndCheck = GetScreenControl(SCREEN_PERFORMANCE, POS_WINDOW_ANIMATION_CHECK);
    if (hwndCheck)
        SendMessageW(hwndCheck, BM_SETCHECK, 1, 0);
}

LONG LoadSettings(CSettings* pSettings) {
    LPWSTR pPath = GetSettingsFilePath();
    FILE* pFile = pPath ? _wfopen(pPath, TEXT("rb")) : NULL;
    delete[] pPath;
    if (!pFile) {
        if (!g_bSilent)
            CheckFirstRunDefault();
        return -1;
    }

    // The largest file we ever write fits this buffer; anything after it is ignored, as are
    // bytes after the last record.
    BYTE* pBytes = new (std::nothrow) BYTE[SETTINGS_FILE_MAX_BYTES];
    DWORD size = pBytes ? (DWORD)fread(pBytes, 1, SETTINGS_FILE_MAX_BYTES, pFile) : 0;
    BOOL readFailed = !pBytes || ferror(pFile);
    fclose(pFile);

    DWORD flags = 0;
    SETTINGS_READ_RESULT result =
        readFailed ? SRR_REJECTED : DecodeSettingsFile(pBytes, size, pSettings, &flags);
    delete[] pBytes;

    if (result == SRR_REJECTED) {
        ShowSettingsError(TEXT("settings.dat is damaged: the stored options were not restored"));
        return -1;
    }
    if (result == SRR_CUT)
        ShowSettingsError(TEXT("settings.dat is damaged: some stored options were not restored"));

    if (!g_bSilent)
        ScatterSettings(pSettings, flags);
    return (LONG)flags;
}
