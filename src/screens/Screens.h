// The six option screens: their controls, switching between them, and the reactions to their
// commands.
#pragma once

#include <windows.h>

#include "common/ControlIds.h"
#include "common/WindowList.h"

struct CScreenPage {
    CWindowList m_items;
    LONG m_pageHeight;
};

class CScreen {
  public:
    CScreen();
    int SwitchScreenTo(int index);
    const CWindowList& GetScreenItems(int index) const;

  protected:
    int m_currentScreen;
    CScreenPage m_pages[SCREEN_COUNT];
};

class CScreens : public CScreen {
  public:
    CScreens();
    ~CScreens();
    int CreateControls();
    void DestroyControls();
    void ControlCallback(UINT id);
};

void FillStartupShortcutList(HWND hwndList);

// The handle at position pos of screen s (null when there is none).
HWND GetScreenControl(int screen, int pos);
