// CWindowList: a doubly linked list of window handles behind a head record.
#include "common/WindowList.h"

CWindowList::CWindowList() : m_pHead(NULL), m_count(0) {}

CWindowList::~CWindowList() {
    Clear();
}

void CWindowList::Append(HWND hwnd) {
    if (m_pHead == NULL) {
        m_pHead = new Head;
        m_pHead->m_pFirst = NULL;
        m_pHead->m_pLast = NULL;
    }
    Node* pNode = new Node;
    pNode->m_pNext = NULL;
    pNode->m_pPrev = m_pHead->m_pLast;
    pNode->m_hwnd = hwnd;
    if (m_pHead->m_pLast != NULL)
        m_pHead->m_pLast->m_pNext = pNode;
    else
        m_pHead->m_pFirst = pNode;
    m_pHead->m_pLast = pNode;
    m_count++;
}

void CWindowList::RemoveLast() {
    if (m_pHead == NULL || m_pHead->m_pLast == NULL)
        return;
    Node* pLast = m_pHead->m_pLast;
    m_pHead->m_pLast = pLast->m_pPrev;
    if (m_pHead->m_pLast != NULL)
        m_pHead->m_pLast->m_pNext = NULL;
    else
        m_pHead->m_pFirst = NULL;
    delete pLast;
    m_count--;
}

void CWindowList::Clear() {
    while (m_count > 0) RemoveLast();
    delete m_pHead;
    m_pHead = NULL;
}

int CWindowList::GetCount() const {
    return m_count;
}

HWND CWindowList::GetAt(int index) const {
    if (m_pHead == NULL || index < 0 || index >= m_count)
        return NULL;
    Node* pNode = m_pHead->m_pFirst;
    for (int i = 0; i < index && pNode != NULL; i++) pNode = pNode->m_pNext;
    return pNode != NULL ? pNode->m_hwnd : NULL;
}
