// The transfer table: one row per option check box, in the order both transfer passes handle
// the options. The same rows also say which CSettings field travels with an option, and the
// settings file walks them by field to lay out its records.
#pragma once

#include <windows.h>

#include "screens/Catalogue.h"
#include "settings/Settings.h"

// What kind of control holds the value that travels with a checked option.
enum SETTING_VALUE_KIND {
    SVK_NONE = 0,  // the check box alone
    SVK_EDIT,      // a text: WM_GETTEXT / WM_SETTEXT
    SVK_COMBO,     // a drop-down selection: CB_GETCURSEL / CB_SETCURSEL
    SVK_TRACKBAR   // a slider position: TBM_GETPOS / TBM_SETPOS
};

// The CSettings fields, numbered in their declaration order, which is also the order of their
// records in settings.dat: the eight texts first, then the four integers.
enum SETTING_FIELD {
    SF_NONE = -1,
    SF_USER_DEFINED1 = 0,
    SF_USER_DEFINED2,
    SF_CUSTOM_EXTENSION,
    SF_IE_CACHE_TARGET,
    SF_AVANTGO_TARGET,
    SF_FAVORITES_TARGET,
    SF_FONTS_TARGET,
    SF_MY_DOCUMENTS_TARGET,
    SF_IE_CACHE_LIMIT,
    SF_IE_HISTORY_LIMIT,
    SF_IE_COOKIE_LIMIT,
    SF_FONT_CACHE_SIZE,
    SF_COUNT
};

#define SF_TEXT_COUNT 8  // fields below this number are texts, the others integers

// The value position of an option whose check box alone travels.
#define POS_NONE -1

struct SETTING_ROW {
    DWORD bit;                // the OPT_ mask of the option
    int screen;               // screen index of the check box and its value control
    int checkPos;             // screen position of the check box
    int valuePos;             // screen position of the value control, POS_NONE for none
    SETTING_VALUE_KIND kind;  // kind of the value control
    SETTING_FIELD field;      // CSettings field of the value, SF_NONE for none
};

extern const SETTING_ROW g_settingRows[];
extern const int g_settingRowCount;

// The row whose value lives in the given field (every field has exactly one).
const SETTING_ROW* FindSettingRowByField(int field);

// Access to a field by its number.
LPWSTR* SettingTextField(CSettings* pSettings, int field);
LONG* SettingIntField(CSettings* pSettings, int field);

// The settings file's bytes. settings.dat is at most this long; a reader never needs more.
#define SETTINGS_FILE_MAX_BYTES (4 + SF_TEXT_COUNT * (4 + 2 * (SETTINGS_TEXT_UNITS - 1)) + 4 * 4)

// Lays out flags and the values of the checked options as settings.dat holds them; returns the
// number of bytes used in pOut (which holds SETTINGS_FILE_MAX_BYTES). Texts are taken out of
// the record as they are written.
DWORD EncodeSettingsFile(CSettings* pSettings, DWORD flags, BYTE* pOut);

// How a settings file read.
enum SETTINGS_READ_RESULT {
    SRR_WHOLE = 0,  // every record the flags announce was present and sound
    SRR_CUT,        // a record was cut off or held an impossible count: the options of that
                    // record and of every later record are dropped from the flags
    SRR_REJECTED    // no usable flags word (too short, or bits that name no option)
};

// Reads the records of a settings file held in memory into the record. *pFlags receives the
// flags of the options restored whole; fields of dropped options are left as they were.
SETTINGS_READ_RESULT DecodeSettingsFile(const BYTE* pData, DWORD size, CSettings* pSettings,
                                        DWORD* pFlags);
