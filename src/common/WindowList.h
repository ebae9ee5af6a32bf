// CWindowList: an ordered list of window handles (a screen's controls, the About window's
// controls). Walked from the first node to the last; never destroys the windows it names.
#pragma once

#include <windows.h>

class CWindowList {
  public:
    CWindowList();
    ~CWindowList();

    void Append(HWND hwnd);
    void RemoveLast();
    void Clear();
    int GetCount() const;
    HWND GetAt(int index) const;

  private:
    struct Node {
        Node* m_pNext;
        Node* m_pPrev;
        HWND m_hwnd;
    };
    struct Head {
        Node* m_pFirst;
        Node* m_pLast;
    };

    CWindowList(const CWindowList&);
    CWindowList& operator=(const CWindowList&);

    Head* m_pHead;
    LONG m_count;
};
