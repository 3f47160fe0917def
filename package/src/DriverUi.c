/* UNIDRVUI.DLL stand-in: the driver's configuration DLL, which the spooler
 * asks for a printer's default device mode and capabilities (Wine's spooler
 * does so when a printer is added). It describes the ZMP-K40's one paper
 * (80 mm roll, 297 mm per page), one resolution (203 dpi) and portrait
 * orientation. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winspool.h>

#define PAPER_WIDTH_TENTHS_MM 800
#define PAPER_LENGTH_TENTHS_MM 2970
#define RESOLUTION_DPI 203
/* The package's version, as its INF's DriverVer says. */
#define DRIVER_VERSION_MAJOR 2
#define DRIVER_VERSION_MINOR 0
#define DRIVER_VERSION_BUILD 6
#define DRIVER_VERSION_EXTRA 0
#define DEVMODE_FIELDS (DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | \
                        DM_COPIES | DM_PRINTQUALITY | DM_YRESOLUTION)

static void DefaultDevMode(const WCHAR *device, DEVMODEW *dm) {
    ZeroMemory(dm, sizeof *dm);
    if (device) lstrcpynW(dm->dmDeviceName, device, CCHDEVICENAME);
    dm->dmSpecVersion = DM_SPECVERSION;
    dm->dmDriverVersion = 0x0206;
    dm->dmSize = sizeof *dm;
    dm->dmDriverExtra = 0;
    dm->dmFields = DEVMODE_FIELDS;
    dm->dmOrientation = DMORIENT_PORTRAIT;
    dm->dmPaperSize = DMPAPER_USER;
    dm->dmPaperLength = PAPER_LENGTH_TENTHS_MM;
    dm->dmPaperWidth = PAPER_WIDTH_TENTHS_MM;
    dm->dmCopies = 1;
    dm->dmPrintQuality = RESOLUTION_DPI;
    dm->dmYResolution = RESOLUTION_DPI;
}

/* The document-properties request without a user interface, as the
 * printer interface DLLs receive it (winddiui.h). */
typedef struct {
    WORD cbSize;
    WORD Reserved;
    HANDLE hPrinter;
    LPWSTR pszPrinterName;
    DEVMODEW *pdmIn;
    DEVMODEW *pdmOut;
    DWORD cbOut;
    DWORD fMode;
} DOCUMENT_PROPERTY_HEADER;

#define PRINTER_EVENT_INITIALIZE 3 /* winddiui.h */

#define CPSUI_OK 1
#define CPSUI_FAILED (-1)

/* Without a property sheet (info NULL): fMode 0 asks for the device mode's
 * size; DM_OUT_BUFFER for the defaults, with what the caller's input mode
 * sets (DM_IN_BUFFER) on top of them. There are no property pages. */
__declspec(dllexport) LONG WINAPI DrvDocumentPropertySheets(void *info, LPARAM lParam) {
    DOCUMENT_PROPERTY_HEADER *dph = (DOCUMENT_PROPERTY_HEADER *)lParam;
    DEVMODEW dm;
    if (info || !dph || dph->cbSize < sizeof *dph) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return CPSUI_FAILED;
    }
    if (dph->fMode == 0 || !dph->pdmOut || !(dph->fMode & DM_OUT_BUFFER)) {
        dph->cbOut = sizeof(DEVMODEW);
        return CPSUI_OK;
    }
    if (dph->cbOut < sizeof(DEVMODEW)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return CPSUI_FAILED;
    }
    DefaultDevMode(dph->pszPrinterName, &dm);
    if ((dph->fMode & DM_IN_BUFFER) && dph->pdmIn &&
        dph->pdmIn->dmSize >= FIELD_OFFSET(DEVMODEW, dmFormName)) {
        const DEVMODEW *in = dph->pdmIn;
        if (in->dmFields & DM_ORIENTATION) dm.dmOrientation = in->dmOrientation;
        if ((in->dmFields & DM_COPIES) && in->dmCopies > 0) dm.dmCopies = in->dmCopies;
    }
    CopyMemory(dph->pdmOut, &dm, sizeof dm);
    dph->cbOut = sizeof dm;
    return CPSUI_OK;
}

__declspec(dllexport) DWORD WINAPI DrvDeviceCapabilities(HANDLE printer, LPWSTR device, WORD capability,
                                                         void *output, DEVMODEW *devmode) {
    (void)printer;
    (void)device;
    (void)devmode;
    switch (capability) {
        case DC_FIELDS: return DEVMODE_FIELDS;
        case DC_SIZE: return sizeof(DEVMODEW);
        case DC_EXTRA: return 0;
        case DC_VERSION: return DM_SPECVERSION;
        case DC_DRIVER: return 0x0206;
        case DC_COPIES: return 1;
        case DC_ORIENTATION: return 0;
        case DC_PAPERS:
            if (output) *(WORD *)output = DMPAPER_USER;
            return 1;
        case DC_PAPERSIZE:
            if (output) {
                POINT *size = (POINT *)output;
                size->x = PAPER_WIDTH_TENTHS_MM;
                size->y = PAPER_LENGTH_TENTHS_MM;
            }
            return 1;
        case DC_PAPERNAMES:
            if (output) lstrcpynW((WCHAR *)output, L"80 x 297 mm [K40]", 64);
            return 1;
        case DC_ENUMRESOLUTIONS:
            if (output) {
                LONG *dpi = (LONG *)output;
                dpi[0] = RESOLUTION_DPI;
                dpi[1] = RESOLUTION_DPI;
            }
            return 1;
        case DC_MINEXTENT:
        case DC_MAXEXTENT:
            return MAKELONG(PAPER_WIDTH_TENTHS_MM, PAPER_LENGTH_TENTHS_MM);
        default:
            return 0;
    }
}

/* A new printer gets the driver's version as printer data, which the
 * installer reads to tell an installed version from its own. Windows calls
 * this in the process that added the printer. */
__declspec(dllexport) BOOL WINAPI DrvPrinterEvent(LPWSTR printerName, INT event, DWORD flags, LPARAM lParam) {
    static const WCHAR *const names[] = {L"MajorVersion", L"MinorVersion", L"BuildVersion", L"ExtraVersion"};
    static const DWORD version[] = {DRIVER_VERSION_MAJOR, DRIVER_VERSION_MINOR, DRIVER_VERSION_BUILD,
                                    DRIVER_VERSION_EXTRA};
    PRINTER_DEFAULTSW access = {NULL, NULL, PRINTER_ALL_ACCESS};
    HANDLE printer = NULL;
    BOOL done = TRUE;
    int i;
    (void)flags;
    (void)lParam;
    if (event != PRINTER_EVENT_INITIALIZE) return TRUE;
    if (!OpenPrinterW(printerName, &printer, &access)) return FALSE;
    for (i = 0; i < 4; ++i)
        if (SetPrinterDataW(printer, (LPWSTR)names[i], REG_DWORD, (BYTE *)&version[i], sizeof version[i]))
            done = FALSE;
    ClosePrinter(printer);
    return done;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
