// Setup library hooks: the entry points the cabinet installer looks up in a setup DLL by name
// and calls around installing and removing an application.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Install_Init: called before the installer copies any file.
typedef enum {
    codeINSTALL_INIT_CONTINUE = 0,  // go on with the installation
    codeINSTALL_INIT_CANCEL         // stop the installation at once
} codeINSTALL_INIT;

// Install_Exit: called after the files, registry entries and shortcuts are in place.
typedef enum {
    codeINSTALL_EXIT_DONE = 0,  // installation done
    codeINSTALL_EXIT_UNINSTALL  // undo the installation before leaving
} codeINSTALL_EXIT;

// Uninstall_Init: called before the installed files are removed.
typedef enum {
    codeUNINSTALL_INIT_CONTINUE = 0,  // go on with the removal
    codeUNINSTALL_INIT_CANCEL         // keep the application
} codeUNINSTALL_INIT;

// Uninstall_Exit: called after the installed files are removed.
typedef enum {
    codeUNINSTALL_EXIT_DONE = 0  // removal done
} codeUNINSTALL_EXIT;

codeINSTALL_INIT Install_Init(HWND hwndParent, BOOL fFirstCall, BOOL fPreviouslyInstalled,
                              LPCTSTR pszInstallDir);
codeINSTALL_EXIT Install_Exit(HWND hwndParent, LPCTSTR pszInstallDir, WORD cFailedDirs,
                              WORD cFailedFiles, WORD cFailedRegKeys, WORD cFailedRegVals,
                              WORD cFailedShortcuts);
codeUNINSTALL_INIT Uninstall_Init(HWND hwndParent, LPCTSTR pszInstallDir);
codeUNINSTALL_EXIT Uninstall_Exit(HWND hwndParent);

// The installer finds the hooks by these names.
typedef codeINSTALL_INIT (*pfnINSTALL_INIT)(HWND hwndParent, BOOL fFirstCall,
                                            BOOL fPreviouslyInstalled, LPCTSTR pszInstallDir);
typedef codeINSTALL_EXIT (*pfnINSTALL_EXIT)(HWND hwndParent, LPCTSTR pszInstallDir,
                                            WORD cFailedDirs, WORD cFailedFiles,
                                            WORD cFailedRegKeys, WORD cFailedRegVals,
                                            WORD cFailedShortcuts);
typedef codeUNINSTALL_INIT (*pfnUNINSTALL_INIT)(HWND hwndParent, LPCTSTR pszInstallDir);
typedef codeUNINSTALL_EXIT (*pfnUNINSTALL_EXIT)(HWND hwndParent);

#define szINSTALL_INIT TEXT("Install_Init")
#define szINSTALL_EXIT TEXT("Install_Exit")
#define szUNINSTALL_INIT TEXT("Uninstall_Init")
#define szUNINSTALL_EXIT TEXT("Uninstall_Exit")

#ifdef __cplusplus
}
#endif
