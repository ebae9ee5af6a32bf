// OEM adaptation layer calls of Windows CE: KernelIoControl and the reboot requests.
#pragma once

#include <windows.h>

#ifndef CTL_CODE
#define CTL_CODE(DeviceType, Function, Method, Access) \
    (((DeviceType) << 16) | ((Access) << 14) | ((Function) << 2) | (Method))
#endif
#define METHOD_BUFFERED 0
#define METHOD_IN_DIRECT 1
#define METHOD_OUT_DIRECT 2
#define METHOD_NEITHER 3
#define FILE_ANY_ACCESS 0
#define FILE_READ_ACCESS 0x0001
#define FILE_WRITE_ACCESS 0x0002
#define FILE_DEVICE_HAL 0x00000101

// 0x0101003C
#define IOCTL_HAL_REBOOT CTL_CODE(FILE_DEVICE_HAL, 15, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_HAL_GET_DEVICEID CTL_CODE(FILE_DEVICE_HAL, 21, METHOD_BUFFERED, FILE_ANY_ACCESS)

CE_BEGIN_DECLS

// IOCTL_HAL_REBOOT restarts the device: every program of the device ends.
// Other codes fail with ERROR_NOT_SUPPORTED.
CEAPI BOOL KernelIoControl(DWORD dwIoControlCode, LPVOID lpInBuf, DWORD nInBufSize, LPVOID lpOutBuf,
                           DWORD nOutBufSize, LPDWORD lpBytesReturned);
// The next boot restores the factory image (a cleared object store).
CEAPI void SetCleanRebootFlag(void);

CE_END_DECLS
