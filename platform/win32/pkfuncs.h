// Windows CE kernel and OEM adaptation calls (pkfuncs.h on the device).
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef CTL_CODE
#define CTL_CODE(DeviceType, Function, Method, Access) \
    (((DeviceType) << 16) | ((Access) << 14) | ((Function) << 2) | (Method))
#endif
#ifndef FILE_DEVICE_HAL
#define FILE_DEVICE_HAL 0x00000101
#endif

// 0x0101003C: restart the device.
#define IOCTL_HAL_REBOOT CTL_CODE(FILE_DEVICE_HAL, 15, METHOD_BUFFERED, FILE_ANY_ACCESS)

BOOL WINAPI KernelIoControl(DWORD dwIoControlCode, LPVOID lpInBuf, DWORD nInBufSize,
                            LPVOID lpOutBuf, DWORD nOutBufSize, LPDWORD lpBytesReturned);
// The next boot starts with a cleared object store.
void WINAPI SetCleanRebootFlag(void);

#ifdef __cplusplus
}
#endif
