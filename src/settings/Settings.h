// The settings record, the option flags and settings.dat.
#pragma once

#include <windows.h>

#define OPT_CLEAN_USER_DIR1 0x00000001
#define OPT_CLEAN_USER_DIR2 0x00000002
#define OPT_CLEAN_TEMP 0x00000004
#define OPT_CLEAN_WINDOWS_TEMP 0x00000008
#define OPT_CLEAN_MYDOCS_TEMP 0x00000010
#define OPT_FILES_TMP 0x00000020
#define OPT_FILES_LOG 0x00000040
#define OPT_FILES_BAK 0x00000080
#define OPT_CLEAR_IE_CACHE 0x00000100
#define OPT_CLEAR_IE_HISTORY 0x00000200
#define OPT_MOVE_IE_CACHE 0x00000400
#define OPT_LIMIT_IE_CACHE 0x00000800
#define OPT_LIMIT_IE_HISTORY 0x00001000
#define OPT_LIMIT_IE_COOKIES 0x00002000
#define OPT_MOVE_AVANTGO_CACHE 0x00004000
#define OPT_CLEAR_REGISTRY_KEYS 0x00008000
#define OPT_MOVE_FAVORITES 0x00010000
#define OPT_MOVE_FONTS 0x00020000
#define OPT_MOVE_MY_DOCUMENTS 0x00040000
#define OPT_REMOVE_START_MENU_ITEMS 0x00080000
#define OPT_FONT_CACHE_SIZE 0x00100000
#define OPT_SILENT_CLEANUP 0x00200000
#define OPT_NO_START_MENU_ANIMATION 0x00400000
#define OPT_NO_WINDOW_ANIMATION 0x00800000
#define OPT_FILES_CUSTOM 0x01000000

// Texts are buffers of this many UTF-16 units (at most one unit less of text).
#define SETTINGS_TEXT_UNITS 1024

class CSettings {
  public:
    CSettings();
    ~CSettings();

    LPWSTR m_userDefined1Path;
    LPWSTR m_userDefined2Path;
    LPWSTR m_customExtension;
    LPWSTR m_ieCacheTarget;
    LPWSTR m_avantGoTarget;
    LPWSTR m_favoritesTarget;
    LPWSTR m_fontsTarget;
    LPWSTR m_myDocumentsTarget;
    LONG m_ieCacheLimit;
    LONG m_ieHistoryLimit;
    LONG m_ieCookieLimit;
    LONG m_fontCacheSize;

  private:
    CSettings(const CSettings&);
    CSettings& operator=(const CSettings&);
};

// Releases the buffer of a text field and leaves the field null.
void ReleaseSettingsText(LPWSTR& field);
// Releases every text the record still holds.
void ReleaseAllSettingsTexts(CSettings* pSettings);

LPWSTR GetSettingsFilePath();  // caller frees with delete[]
void SaveSettings(CSettings* pSettings);
LONG LoadSettings(CSettings* pSettings);
DWORD GatherSettings(CSettings* pSettings);
void ScatterSettings(CSettings* pSettings, DWORD flags);
