// The six option screens: their controls, switching between them, and the reactions to their
// commands.
#pragma once

#include <windows.h>

#include "screens/Catalogue.h"
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

// The handle at position pos of screen s: the one way code outside the screens reaches an
// option control. Null when there is none (no screens, or no such position).
HWND GetScreenControl(int screen, int pos);
