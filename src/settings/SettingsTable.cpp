// The transfer table and the settings file's record layout built on it.
#include "settings/SettingsTable.h"

#include <new>

// The check box decides the bit, the value control holds what travels with a checked option.
// Screens 0 to 5 in order; within a screen, by position.
const SETTING_ROW g_settingRows[] = {
    {OPT_CLEAN_USER_DIR1, SCREEN_CLEAN_TEMP, POS_USER_DIR1_CHECK, POS_USER_DIR1_EDIT, SVK_EDIT,
     SF_USER_DEFINED1},
    {OPT_CLEAN_USER_DIR2, SCREEN_CLEAN_TEMP, POS_USER_DIR2_CHECK, POS_USER_DIR2_EDIT, SVK_EDIT,
     SF_USER_DEFINED2},
    {OPT_CLEAN_TEMP, SCREEN_CLEAN_TEMP, POS_TEMP_CHECK, POS_NONE, SVK_NONE, SF_NONE},
    {OPT_CLEAN_WINDOWS_TEMP, SCREEN_CLEAN_TEMP, POS_WINDOWS_TEMP_CHECK, POS_NONE, SVK_NONE,
     SF_NONE},
    {OPT_CLEAN_MYDOCS_TEMP, SCREEN_CLEAN_TEMP, POS_MYDOCS_TEMP_CHECK, POS_NONE, SVK_NONE, SF_NONE},
    {OPT_FILES_TMP, SCREEN_CLEAN_TEMP, POS_FILES_TMP_CHECK, POS_NONE, SVK_NONE, SF_NONE},
    {OPT_FILES_LOG, SCREEN_CLEAN_TEMP, POS_FILES_LOG_CHECK, POS_NONE, SVK_NONE, SF_NONE},
    {OPT_FILES_BAK, SCREEN_CLEAN_TEMP, POS_FILES_BAK_CHECK, POS_NONE, SVK_NONE, SF_NONE},
    {OPT_FILES_CUSTOM, SCREEN_CLEAN_TEMP, POS_FILES_CUSTOM_CHECK, POS_FILES_CUSTOM_EDIT, SVK_EDIT,
     SF_CUSTOM_EXTENSION},
    {OPT_CLEAR_IE_CACHE, SCREEN_POCKET_IE, POS_IE_CLEAR_CACHE_CHECK, POS_NONE, SVK_NONE, SF_NONE},
    {OPT_CLEAR_IE_HISTORY, SCREEN_POCKET_IE, POS_IE_CLEAR_HISTORY_CHECK, POS_NONE, SVK_NONE,
     SF_NONE},
    {OPT_MOVE_IE_CACHE, SCREEN_POCKET_IE, POS_IE_MOVE_CACHE_CHECK, POS_IE_MOVE_CACHE_EDIT, SVK_EDIT,
     SF_IE_CACHE_TARGET},
    {OPT_LIMIT_IE_CACHE, SCREEN_POCKET_IE, POS_IE_CACHE_LIMIT_CHECK, POS_IE_CACHE_LIMIT_LIST,
     SVK_COMBO, SF_IE_CACHE_LIMIT},
    {OPT_LIMIT_IE_HISTORY, SCREEN_POCKET_IE, POS_IE_HISTORY_LIMIT_CHECK, POS_IE_HISTORY_LIMIT_LIST,
     SVK_COMBO, SF_IE_HISTORY_LIMIT},
    {OPT_LIMIT_IE_COOKIES, SCREEN_POCKET_IE, POS_IE_COOKIE_LIMIT_CHECK, POS_IE_COOKIE_LIMIT_LIST,
     SVK_COMBO, SF_IE_COOKIE_LIMIT},
    {OPT_MOVE_AVANTGO_CACHE, SCREEN_POCKET_IE, POS_AVANTGO_CHECK, POS_AVANTGO_EDIT, SVK_EDIT,
     SF_AVANTGO_TARGET},
    {OPT_CLEAR_REGISTRY_KEYS, SCREEN_REGISTRY, POS_REGISTRY_KEYS_CHECK, POS_NONE, SVK_NONE,
     SF_NONE},
    {OPT_MOVE_FAVORITES, SCREEN_SYSTEM_FOLDERS, POS_FAVORITES_CHECK, POS_FAVORITES_EDIT, SVK_EDIT,
     SF_FAVORITES_TARGET},
    {OPT_MOVE_FONTS, SCREEN_SYSTEM_FOLDERS, POS_FONTS_CHECK, POS_FONTS_EDIT, SVK_EDIT,
     SF_FONTS_TARGET},
    {OPT_MOVE_MY_DOCUMENTS, SCREEN_SYSTEM_FOLDERS, POS_MY_DOCUMENTS_CHECK, POS_MY_DOCUMENTS_EDIT,
     SVK_EDIT, SF_MY_DOCUMENTS_TARGET},
    {OPT_REMOVE_START_MENU_ITEMS, SCREEN_SHORTCUTS, POS_START_MENU_CHECK, POS_NONE, SVK_NONE,
     SF_NONE},
    {OPT_FONT_CACHE_SIZE, SCREEN_PERFORMANCE, POS_FONT_CACHE_CHECK, POS_FONT_CACHE_SLIDER,
     SVK_TRACKBAR, SF_FONT_CACHE_SIZE},
    {OPT_SILENT_CLEANUP, SCREEN_PERFORMANCE, POS_SILENT_CLEANUP_CHECK, POS_NONE, SVK_NONE, SF_NONE},
    {OPT_NO_START_MENU_ANIMATION, SCREEN_PERFORMANCE, POS_MENU_ANIMATION_CHECK, POS_NONE, SVK_NONE,
     SF_NONE},
    {OPT_NO_WINDOW_ANIMATION, SCREEN_PERFORMANCE, POS_WINDOW_ANIMATION_CHECK, POS_NONE, SVK_NONE,
     SF_NONE},
};
const int g_settingRowCount = sizeof(g_settingRows) / sizeof(g_settingRows[0]);

// Every bit the file may carry; the others name no option.
static const DWORD OPT_ALL_OPTIONS = 0x01FFFFFF;

const SETTING_ROW* FindSettingRowByField(int field) {
    for (int i = 0; i < g_settingRowCount; i++) {
        if (g_settingRows[i].field == field)
            return &g_settingRows[i];
    }
    return NULL;
}

LPWSTR* SettingTextField(CSettings* pSettings, int field) {
    switch (field) {
        case SF_USER_DEFINED1:
            return &pSettings->m_userDefined1Path;
        case SF_USER_DEFINED2:
            return &pSettings->m_userDefined2Path;
        case SF_CUSTOM_EXTENSION:
            return &pSettings->m_customExtension;
        case SF_IE_CACHE_TARGET:
            return &pSettings->m_ieCacheTarget;
        case SF_AVANTGO_TARGET:
            return &pSettings->m_avantGoTarget;
        case SF_FAVORITES_TARGET:
            return &pSettings->m_favoritesTarget;
        case SF_FONTS_TARGET:
            return &pSettings->m_fontsTarget;
        case SF_MY_DOCUMENTS_TARGET:
            return &pSettings->m_myDocumentsTarget;
    }
    return NULL;
}

LONG* SettingIntField(CSettings* pSettings, int field) {
    switch (field) {
        case SF_IE_CACHE_LIMIT:
            return &pSettings->m_ieCacheLimit;
        case SF_IE_HISTORY_LIMIT:
            return &pSettings->m_ieHistoryLimit;
        case SF_IE_COOKIE_LIMIT:
            return &pSettings->m_ieCookieLimit;
        case SF_FONT_CACHE_SIZE:
            return &pSettings->m_fontCacheSize;
    }
    return NULL;
}

// The file is little-endian whatever the processor.
static void PutDword(BYTE* p, DWORD value) {
    p[0] = (BYTE)(value & 0xFF);
    p[1] = (BYTE)((value >> 8) & 0xFF);
    p[2] = (BYTE)((value >> 16) & 0xFF);
    p[3] = (BYTE)((value >> 24) & 0xFF);
}

static DWORD GetDword(const BYTE* p) {
    return (DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24);
}

DWORD EncodeSettingsFile(CSettings* pSettings, DWORD flags, BYTE* pOut) {
    DWORD used = 0;
    PutDword(pOut, flags);
    used += 4;

    for (int field = 0; field < SF_COUNT; field++) {
        const SETTING_ROW* pRow = FindSettingRowByField(field);
        if (!pRow || !(flags & pRow->bit))
            continue;
        if (field < SF_TEXT_COUNT) {
            LPWSTR* pText = SettingTextField(pSettings, field);
            DWORD count = 0;
            if (*pText) {
                while (count < SETTINGS_TEXT_UNITS - 1 && (*pText)[count]) count++;
            }
            PutDword(pOut + used, count);
            used += 4;
            for (DWORD i = 0; i < count; i++) {
                WORD unit = (WORD)(*pText)[i];
                pOut[used++] = (BYTE)(unit & 0xFF);
                pOut[used++] = (BYTE)(unit >> 8);
            }
            ReleaseSettingsText(*pText);
        } else {
            PutDword(pOut + used, (DWORD)*SettingIntField(pSettings, field));
            used += 4;
        }
    }
    return used;
}

// Reads one text record at *pOffset. FALSE when the record is cut off or announces more than a
// field can hold; the field is then left as it was.
static BOOL DecodeTextRecord(const BYTE* pData, DWORD size, DWORD* pOffset, LPWSTR* pField) {
    if (size - *pOffset < 4)
        return FALSE;
    DWORD count = GetDword(pData + *pOffset);
    if (count > SETTINGS_TEXT_UNITS - 1 || (size - *pOffset - 4) / 2 < count)
        return FALSE;

    LPWSTR pText = new (std::nothrow) WCHAR[SETTINGS_TEXT_UNITS];
    if (!pText)
        return FALSE;
    const BYTE* pUnits = pData + *pOffset + 4;
    for (DWORD i = 0; i < count; i++) pText[i] = (WCHAR)(pUnits[2 * i] | (pUnits[2 * i + 1] << 8));
    pText[count] = 0;

    ReleaseSettingsText(*pField);
    *pField = pText;
    *pOffset += 4 + 2 * count;
    return TRUE;
}

SETTINGS_READ_RESULT DecodeSettingsFile(const BYTE* pData, DWORD size, CSettings* pSettings,
                                        DWORD* pFlags) {
    *pFlags = 0;
    // An empty file is a file without options, as it always was.
    if (size == 0)
        return SRR_WHOLE;
    if (size < 4)
        return SRR_REJECTED;
    DWORD flags = GetDword(pData);
    if (flags & ~OPT_ALL_OPTIONS)
        return SRR_REJECTED;

    DWORD offset = 4;
    for (int field = 0; field < SF_COUNT; field++) {
        const SETTING_ROW* pRow = FindSettingRowByField(field);
        if (!pRow || !(flags & pRow->bit))
            continue;
        BOOL whole;
        if (field < SF_TEXT_COUNT) {
            whole = DecodeTextRecord(pData, size, &offset, SettingTextField(pSettings, field));
        } else {
            whole = size - offset >= 4;
            if (whole) {
                *SettingIntField(pSettings, field) = (LONG)GetDword(pData + offset);
                offset += 4;
            }
        }
        if (!whole) {
            // Keep what came before the damage; this option and every later one that carries
            // a value are not restored, so no control receives a half-read value.
            for (int later = field; later < SF_COUNT; later++) {
                const SETTING_ROW* pLater = FindSettingRowByField(later);
                if (pLater)
                    flags &= ~pLater->bit;
            }
            *pFlags = flags;
            return SRR_CUT;
        }
    }
    *pFlags = flags;
    return SRR_WHOLE;
}
