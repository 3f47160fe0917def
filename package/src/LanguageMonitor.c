/* ZPMON40.dll: the ZMP-K40 language monitor. It passes every job through
 * to the port monitor below it unchanged; the printer needs no language of
 * its own on the way. The spooler loads it through InitializePrintMonitor2. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

/* One open port: the port monitor's handle and its function table. */
typedef struct {
    HANDLE port;
    MONITOR2 *portMonitor;
} LM_PORT;

static BOOL WINAPI LmOpenPortEx(HANDLE hMonitor, HANDLE hMonitorPort, LPWSTR pPortName,
                                LPWSTR pPrinterName, PHANDLE pHandle, MONITOR2 *pMonitor2) {
    LM_PORT *p;
    HANDLE port = NULL;
    (void)hMonitor;
    (void)pPrinterName;
    if (!pHandle || !pMonitor2 || !pMonitor2->pfnOpenPort) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!pMonitor2->pfnOpenPort(hMonitorPort, pPortName, &port)) return FALSE;
    p = (LM_PORT *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *p);
    if (!p) {
        if (pMonitor2->pfnClosePort) pMonitor2->pfnClosePort(port);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    p->port = port;
    p->portMonitor = pMonitor2;
    *pHandle = (HANDLE)p;
    return TRUE;
}

static BOOL WINAPI LmStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
                                  LPBYTE pDocInfo) {
    LM_PORT *p = (LM_PORT *)hPort;
    if (!p->portMonitor->pfnStartDocPort) return TRUE;
    return p->portMonitor->pfnStartDocPort(p->port, pPrinterName, JobId, Level, pDocInfo);
}

static BOOL WINAPI LmWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
    LM_PORT *p = (LM_PORT *)hPort;
    if (!p->portMonitor->pfnWritePort) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    return p->portMonitor->pfnWritePort(p->port, pBuffer, cbBuf, pcbWritten);
}

static BOOL WINAPI LmReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) {
    LM_PORT *p = (LM_PORT *)hPort;
    if (!p->portMonitor->pfnReadPort) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    return p->portMonitor->pfnReadPort(p->port, pBuffer, cbBuffer, pcbRead);
}

static BOOL WINAPI LmEndDocPort(HANDLE hPort) {
    LM_PORT *p = (LM_PORT *)hPort;
    if (!p->portMonitor->pfnEndDocPort) return TRUE;
    return p->portMonitor->pfnEndDocPort(p->port);
}

static BOOL WINAPI LmClosePort(HANDLE hPort) {
    LM_PORT *p = (LM_PORT *)hPort;
    BOOL ok = TRUE;
    if (p->portMonitor->pfnClosePort) ok = p->portMonitor->pfnClosePort(p->port);
    HeapFree(GetProcessHeap(), 0, p);
    return ok;
}

static VOID WINAPI LmShutdown(HANDLE hMonitor) { (void)hMonitor; }

static MONITOR2 g_monitor;

__declspec(dllexport) LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit,
                                                                PHANDLE phMonitor) {
    (void)pMonitorInit;
    if (!phMonitor) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    g_monitor.cbSize = sizeof g_monitor;
    g_monitor.pfnOpenPortEx = LmOpenPortEx;
    g_monitor.pfnStartDocPort = LmStartDocPort;
    g_monitor.pfnWritePort = LmWritePort;
    g_monitor.pfnReadPort = LmReadPort;
    g_monitor.pfnEndDocPort = LmEndDocPort;
    g_monitor.pfnClosePort = LmClosePort;
    g_monitor.pfnShutdown = LmShutdown;
    *phMonitor = (HANDLE)&g_monitor;
    return &g_monitor;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
