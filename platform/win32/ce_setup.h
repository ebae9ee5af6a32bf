// The hooks that the Windows CE cabinet installer calls in an application's setup library.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    codeINSTALL_INIT_CONTINUE = 0,  // go on installing
    codeINSTALL_INIT_CANCEL         // cancel the installation now
} codeINSTALL_INIT;

typedef enum {
    codeINSTALL_EXIT_DONE = 0,  // the installation is complete
    codeINSTALL_EXIT_UNINSTALL  // remove what was installed before ending
} codeINSTALL_EXIT;

typedef enum {
    codeUNINSTALL_INIT_CONTINUE = 0,  // go on removing
    codeUNINSTALL_INIT_CANCEL         // keep the application
} codeUNINSTALL_INIT;

typedef enum {
    codeUNINSTALL_EXIT_DONE = 0
} codeUNINSTALL_EXIT;

codeINSTALL_INIT Install_Init(HWND hwndParent, BOOL fFirstCall, BOOL fPreviouslyInstalled,
                              LPCTSTR pszInstallDir);
codeINSTALL_EXIT Install_Exit(HWND hwndParent, LPCTSTR pszInstallDir, WORD cFailedDirs,
                              WORD cFailedFiles, WORD cFailedRegKeys, WORD cFailedRegVals,
                              WORD cFailedShortcuts);
codeUNINSTALL_INIT Uninstall_Init(HWND hwndParent, LPCTSTR pszInstallDir);
codeUNINSTALL_EXIT Uninstall_Exit(HWND hwndParent);

typedef codeINSTALL_INIT (*pfnINSTALL_INIT)(HWND, BOOL, BOOL, LPCTSTR);
typedef codeINSTALL_EXIT (*pfnINSTALL_EXIT)(HWND, LPCTSTR, WORD, WORD, WORD, WORD, WORD);
typedef codeUNINSTALL_INIT (*pfnUNINSTALL_INIT)(HWND, LPCTSTR);
typedef codeUNINSTALL_EXIT (*pfnUNINSTALL_EXIT)(HWND);

#ifdef __cplusplus
}
#endif
