#define IDR_MAIN 101
#define IDM_EXIT 40004
