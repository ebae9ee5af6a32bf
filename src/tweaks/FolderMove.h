// Moving a folder's content into another folder as one change: everything goes, or nothing does.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tweaks/ApplySteps.h"

// Why a move did not happen.
enum FOLDER_MOVE_PROBLEM {
    MOVE_OK = 0,
    MOVE_UNREADABLE,  // a folder of the source could not be listed, or an entry not named again
    MOVE_NAME_TAKEN,  // the target already holds an entry of that name
    MOVE_TOO_LONG,    // an entry's path would not fit a path buffer
    MOVE_FAILED       // an entry could not be moved or created; what had moved was moved back
};

class CFolderMove {
  public:
    CFolderMove();

    // Lists everything below source and checks that all of it can go to the same place below
    // target, before anything moves. Both are resolved folders with their final backslash;
    // target must not lie inside source. A source that does not exist has nothing to move.
    BOOL Plan(LPCWSTR source, LPCWSTR target);
    // Moves what Plan listed, folders first; when an entry fails, moves back what had moved.
    BOOL Run();
    // Moves back everything that Run moved, after a later step of the relocation failed.
    BOOL Undo();
    // Once the move stands: deletes the source's copies of files that were in the target already
    // and removes the subfolders that the move left empty.
    void Finish();

    FOLDER_MOVE_PROBLEM GetProblem() const { return m_problem; }
    // The entry that the problem concerns, and the error of the call that failed.
    LPCWSTR GetProblemPath() const { return m_problemPath; }
    DWORD GetProblemError() const { return m_problemError; }
    // A file that could not be moved back, in the target, or an empty text when none.
    LPCWSTR GetStrandedPath() const { return m_strandedPath; }

  private:
    struct ENTRY {
        std::basic_string<WCHAR> relative;  // below the source and the target, no leading '\'
        DWORD attributes;
        BOOL inTarget;  // the target holds the same bytes already (an interrupted move's copy)
        BOOL done;      // a file moved, or a folder created in the target
    };

    BOOL PlanFolder(LPWSTR source, size_t length, LPWSTR target, size_t targetLength);
    BOOL PlanEntry(const WIN32_FIND_DATAW& findData, LPWSTR source, size_t sourceLength,
                   LPWSTR target, size_t targetLength);
    BOOL BuildPaths(const ENTRY& entry, LPWSTR source, LPWSTR target) const;
    BOOL Fail(FOLDER_MOVE_PROBLEM problem, LPCWSTR path, DWORD error);

    std::vector<ENTRY> m_entries;
    size_t m_sourceLength;
    size_t m_targetLength;
    WCHAR m_source[TWEAK_PATH_UNITS];
    WCHAR m_target[TWEAK_PATH_UNITS];
    FOLDER_MOVE_PROBLEM m_problem;
    DWORD m_problemError;
    WCHAR m_problemPath[TWEAK_PATH_UNITS];
    WCHAR m_strandedPath[TWEAK_PATH_UNITS];
};
