// The Apply pass and the tweaks it runs.
#pragma once

#include <windows.h>

extern LONG g_bytesCleaned;

void ApplySettings(BYTE allowRestart);
void DeleteFolderContents(LPCWSTR folder, BOOL removeSubfolders);
void MoveFolderContents(LPCWSTR source, LPCWSTR target);
void RemoveAppKeyIfOrphaned(LPCWSTR subkeyName, HKEY hAppsKey);
void RemoveDeadShortcuts(LPCWSTR folder);
BOOL IsShortcutTargetPresent(LPCWSTR path);
