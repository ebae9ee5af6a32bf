// The shell's window objects: each holds the handle of its one window.
#pragma once

#include <windows.h>

class CMenuBar {
  public:
    CMenuBar() : m_hwnd(NULL) {}
    void Create();
    void FitWindowAbove(HWND hwnd);
    void Destroy();
    HWND GetHandle() const { return m_hwnd; }

  private:
    HWND m_hwnd;
};

class CMainWindow {
  public:
    CMainWindow() : m_hwnd(NULL) {}
    void Create();
    void Destroy();
    HWND GetHandle() const { return m_hwnd; }

  private:
    HWND m_hwnd;
};

class CTabBar {
  public:
    CTabBar() : m_hwnd(NULL) {}
    void Create();
    void Destroy();
    HWND GetHandle() const { return m_hwnd; }

  private:
    HWND m_hwnd;
};

class CDisplayWindow {
  public:
    CDisplayWindow() : m_hwnd(NULL) {}
    void Create();
    void Destroy();
    HWND GetHandle() const { return m_hwnd; }

  private:
    HWND m_hwnd;
};

// Registers a window class of the program with the shared class settings (MainWndProc,
// CS_HREDRAW | CS_VREDRAW, the system colour COLOR_WINDOW as background).
void RegisterProgramClass(LPCWSTR className);

void PowerOff();
void SoftReset();
void HardReset();
void ShowAboutWindow();
void CloseAboutWindow();
void ShowHelpIndex();
