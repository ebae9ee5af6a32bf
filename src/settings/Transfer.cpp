// Moving option state between the controls of the screens and the settings record. Both passes
// walk the one transfer table, so they stay exact mirrors of each other.
#include "settings/Settings.h"

#include <windows.h>
#include <commctrl.h>

#include <new>

#include "screens/Screens.h"
#include "settings/SettingsTable.h"
#include "shell/Globals.h"

// Reads the value control of a checked option into its field. FALSE when the value could not be
// kept (no memory for the text), so that the option is not taken as set without its value.
static BOOL GatherValue(CSettings* pSettings, const SETTING_ROW& row) {
    HWND hwndValue = GetScreenControl(row.screen, row.valuePos);
    switch (row.kind) {
        case SVK_EDIT: {
            LPWSTR pText = new (std::nothrow) WCHAR[SETTINGS_TEXT_UNITS];
            if (!pText)
                return FALSE;
            pText[0] = 0;
            if (hwndValue)
                SendMessageW(hwndValue, WM_GETTEXT, SETTINGS_TEXT_UNITS, (LPARAM)pText);
            pText[SETTINGS_TEXT_UNITS - 1] = 0;
            LPWSTR* pField = SettingTextField(pSettings, row.field);
            ReleaseSettingsText(*pField);
            *pField = pText;
            break;
        }
        case SVK_COMBO:
            if (hwndValue)
                *SettingIntField(pSettings, row.field) =
                    (LONG)SendMessageW(hwndValue, CB_GETCURSEL, 0, 0);
            break;
        case SVK_TRACKBAR:
            if (hwndValue)
                *SettingIntField(pSettings, row.field) =
                    (LONG)SendMessageW(hwndValue, TBM_GETPOS, 0, 0);
            break;
        case SVK_NONE:
            break;
    }
    return TRUE;
}

DWORD GatherSettings(CSettings* pSettings) {
    DWORD flags = 0;
    for (int i = 0; i < g_settingRowCount; i++) {
        const SETTING_ROW& row = g_settingRows[i];
        HWND hwndCheck = GetScreenControl(row.screen, row.checkPos);
        if (!hwndCheck || SendMessageW(hwndCheck, BM_GETCHECK, 0, 0) != 1)
            continue;
        if (GatherValue(pSettings, row))
            flags |= row.bit;
    }
    return flags;
}

static void ScatterValue(CSettings* pSettings, const SETTING_ROW& row) {
    HWND hwndValue = GetScreenControl(row.screen, row.valuePos);
    switch (row.kind) {
        case SVK_EDIT: {
            LPWSTR* pField = SettingTextField(pSettings, row.field);
            if (hwndValue && *pField)
                SendMessageW(hwndValue, WM_SETTEXT, 0, (LPARAM)*pField);
            ReleaseSettingsText(*pField);
            break;
        }
        case SVK_COMBO:
            if (hwndValue)
                SendMessageW(hwndValue, CB_SETCURSEL,
                             (WPARAM)*SettingIntField(pSettings, row.field), 0);
            break;
        case SVK_TRACKBAR:
            if (hwndValue)
                SendMessageW(hwndValue, TBM_SETPOS, 1,
                             (LPARAM)*SettingIntField(pSettings, row.field));
            break;
        case SVK_NONE:
            break;
    }
}

void ScatterSettings(CSettings* pSettings, DWORD flags) {
    for (int i = 0; i < g_settingRowCount; i++) {
        const SETTING_ROW& row = g_settingRows[i];
        if (!(flags & row.bit))
            continue;
        HWND hwndCheck = GetScreenControl(row.screen, row.checkPos);
        if (hwndCheck)
            SendMessageW(hwndCheck, BM_SETCHECK, 1, 0);
        ScatterValue(pSettings, row);
    }
}
