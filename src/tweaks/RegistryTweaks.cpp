// The registry tweaks of the Apply pass: Pocket IE's store limits, the font glyph cache and the
// two animation switches. Each opens a key that must already exist, writes one REG_DWORD value
// and closes the key again.
#include <windows.h>

#include "tweaks/ApplySteps.h"

// A size chosen by a list index or slider position; anything else gets the middle choice for
// the Pocket IE limits and the smallest for the glyph cache.
struct REGISTRY_LIMIT {
    HKEY hRoot;
    LPCWSTR pszKey;
    LPCWSTR pszValue;
    DWORD data[3];
    DWORD fallback;
    LPCWSTR pszMissingKey;
};

static const REGISTRY_LIMIT c_ieCacheLimit = {
    HKEY_CURRENT_USER,
    TEXT("Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache\\Content"),
    TEXT("CacheLimit"),
    {1024, 2048, 3072},
    2048,
    TEXT("Unable to locate Internet Explorer cache limit")};

static const REGISTRY_LIMIT c_ieHistoryLimit = {
    HKEY_CURRENT_USER,
    TEXT("Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache\\History"),
    TEXT("CacheLimit"),
    {256, 512, 1024},
    512,
    TEXT("Unable to locate Internet Explorer history limit")};

static const REGISTRY_LIMIT c_ieCookieLimit = {
    HKEY_CURRENT_USER,
    TEXT("Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache\\Cookies"),
    TEXT("CacheLimit"),
    {256, 512, 1024},
    512,
    TEXT("Unable to locate Internet Explorer cookie limit")};

static const REGISTRY_LIMIT c_glyphCacheLimit = {HKEY_LOCAL_MACHINE,
                                                 TEXT("System\\GDI\\GLYPHCACHE"),
                                                 TEXT("limit"),
                                                 {0x2000, 0x4000, 0x8000},
                                                 0x2000,
                                                 TEXT("Unable to locate GlyphCache")};

// An animation switch: 0 turns the animation off, the enabled value turns it back on.
struct REGISTRY_ANIMATION {
    LPCWSTR pszKey;
    LPCWSTR pszValue;
    DWORD bitDisable;
    DWORD enabled;
    LPCWSTR pszMissing;
};

static const REGISTRY_ANIMATION c_menuAnimation = {TEXT("System\\GWE\\Menu"), TEXT("AniType"),
                                                   OPT_NO_START_MENU_ANIMATION, 6,
                                                   TEXT("Unable to locate Menu Animation")};

static const REGISTRY_ANIMATION c_windowAnimation = {TEXT("System\\GWE"), TEXT("Animate"),
                                                     OPT_NO_WINDOW_ANIMATION, 1,
                                                     TEXT("Unable to locate Window Animation")};

static BOOL WriteDword(HKEY hKey, LPCWSTR pszValue, DWORD data) {
    return RegSetValueExW(hKey, pszValue, 0, REG_DWORD, (const BYTE*)&data, sizeof(data)) ==
           ERROR_SUCCESS;
}

// The limit is written whether or not the value already holds it; none of these needs a restart.
static void WriteLimit(const REGISTRY_LIMIT& limit, LONG choice) {
    HKEY hKey = NULL;
    if (RegOpenKeyExW(limit.hRoot, limit.pszKey, 0, 0, &hKey) != ERROR_SUCCESS) {
        ShowError(limit.pszMissingKey);
        return;
    }
    DWORD data = (choice >= 0 && choice < 3) ? limit.data[choice] : limit.fallback;
    WriteDword(hKey, limit.pszValue, data);
    RegCloseKey(hKey);
}

void LimitIeCacheStep(APPLY_PASS& pass) {
    WriteLimit(c_ieCacheLimit, pass.pSettings->m_ieCacheLimit);
}

void LimitIeHistoryStep(APPLY_PASS& pass) {
    WriteLimit(c_ieHistoryLimit, pass.pSettings->m_ieHistoryLimit);
}

void LimitIeCookiesStep(APPLY_PASS& pass) {
    WriteLimit(c_ieCookieLimit, pass.pSettings->m_ieCookieLimit);
}

void FontCacheStep(APPLY_PASS& pass) {
    WriteLimit(c_glyphCacheLimit, pass.pSettings->m_fontCacheSize);
}

// The animation steps run on every pass, so an unticked box puts the enabled value back. A
// value is only written when it differs, and only a change that was really written asks for
// the restart that makes it take effect.
static void SetAnimation(APPLY_PASS& pass, const REGISTRY_ANIMATION& animation) {
    DWORD desired = (pass.flags & animation.bitDisable) ? 0 : animation.enabled;
    DWORD current = 0;
    HKEY hKey = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, animation.pszKey, 0, 0, &hKey) != ERROR_SUCCESS) {
        // Neither the key nor, therefore, its value can be found; there is nowhere to write.
        ShowError(animation.pszMissing);
        ShowError(animation.pszMissing);
        return;
    }
    DWORD size = sizeof(current);
    if (RegQueryValueExW(hKey, animation.pszValue, NULL, NULL, (BYTE*)&current, &size) !=
        ERROR_SUCCESS) {
        ShowError(animation.pszMissing);
        current = 0;
    }
    if (current != desired && WriteDword(hKey, animation.pszValue, desired))
        pass.restartNeeded = TRUE;
    RegCloseKey(hKey);
}

void MenuAnimationStep(APPLY_PASS& pass) {
    SetAnimation(pass, c_menuAnimation);
}

void WindowAnimationStep(APPLY_PASS& pass) {
    SetAnimation(pass, c_windowAnimation);
}
