/* A stand-in for one of the driver package's rendering and user-interface
 * DLLs (UNIDRV.DLL, UNIRES.DLL, ZMP40.dll, ZPUI40.dll, ZPUNI40.dll): a
 * loadable DLL of the right architecture and nothing more, enough for
 * installing and removing the driver in test runs. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
