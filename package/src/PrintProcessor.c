/* ZPPRO40.dll: the ZMP-K40 print processor. It knows one data type, RAW,
 * and sends a job's bytes to the printer as they were spooled. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#define PP_SIGNATURE 0x4B504D5A /* "ZMPK" */

typedef struct {
    DWORD signature;
    DWORD jobId;
    HANDLE printer;
    LPWSTR printerName;
    LPWSTR datatype;
    volatile LONG aborted;
} PROCESSOR;

static const WCHAR kRaw[] = L"RAW";

static LPWSTR DupString(LPCWSTR s) {
    SIZE_T size;
    LPWSTR copy;
    if (!s) return NULL;
    size = (lstrlenW(s) + 1) * sizeof(WCHAR);
    copy = (LPWSTR)HeapAlloc(GetProcessHeap(), 0, size);
    if (copy) CopyMemory(copy, s, size);
    return copy;
}

static void FreeProcessor(PROCESSOR *p) {
    if (p->printer) ClosePrinter(p->printer);
    HeapFree(GetProcessHeap(), 0, p->printerName);
    HeapFree(GetProcessHeap(), 0, p->datatype);
    p->signature = 0;
    HeapFree(GetProcessHeap(), 0, p);
}

static PROCESSOR *Validate(HANDLE h) {
    PROCESSOR *p = (PROCESSOR *)h;
    if (!p || p->signature != PP_SIGNATURE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return NULL;
    }
    return p;
}

__declspec(dllexport) BOOL WINAPI EnumPrintProcessorDatatypesW(LPWSTR pName, LPWSTR pPrintProcessorName,
                                                               DWORD Level, LPBYTE pDatatypes,
                                                               DWORD cbBuf, LPDWORD pcbNeeded,
                                                               LPDWORD pcReturned) {
    DWORD needed = sizeof(DATATYPES_INFO_1W) + sizeof kRaw;
    DATATYPES_INFO_1W *info = (DATATYPES_INFO_1W *)pDatatypes;
    (void)pName;
    (void)pPrintProcessorName;
    if (!pcbNeeded || !pcReturned) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *pcReturned = 0;
    *pcbNeeded = needed;
    if (Level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (!pDatatypes || cbBuf < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    /* The name goes to the end of the caller's buffer, the record to its start. */
    info->pName = (LPWSTR)(pDatatypes + cbBuf - sizeof kRaw);
    CopyMemory(info->pName, kRaw, sizeof kRaw);
    *pcReturned = 1;
    return TRUE;
}

__declspec(dllexport) HANDLE WINAPI OpenPrintProcessor(LPWSTR pPrinterName,
                                                       PPRINTPROCESSOROPENDATA pOpenData) {
    PROCESSOR *p;
    if (!pPrinterName || !pOpenData || !pOpenData->pDatatype) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    if (lstrcmpiW(pOpenData->pDatatype, kRaw) != 0) {
        SetLastError(ERROR_INVALID_DATATYPE);
        return NULL;
    }
    p = (PROCESSOR *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *p);
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    p->signature = PP_SIGNATURE;
    p->jobId = pOpenData->JobId;
    p->printerName = DupString(pPrinterName);
    p->datatype = DupString(pOpenData->pDatatype);
    if (!p->printerName || !p->datatype || !OpenPrinterW(pPrinterName, &p->printer, NULL)) {
        DWORD error = p->printerName && p->datatype ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
        p->printer = NULL;
        FreeProcessor(p);
        SetLastError(error);
        return NULL;
    }
    return (HANDLE)p;
}

__declspec(dllexport) BOOL WINAPI PrintDocumentOnPrintProcessor(HANDLE hPrintProcessor,
                                                                LPWSTR pDocumentName) {
    PROCESSOR *p = Validate(hPrintProcessor);
    WCHAR jobName[MAX_PATH + 32];
    HANDLE job = NULL;
    DOC_INFO_1W doc;
    BYTE buffer[4096];
    DWORD read = 0, written = 0;
    BOOL ok = TRUE;
    if (!p) return FALSE;

    /* The spooled data is read through "<printer>, Job <id>". */
    if (lstrlenW(p->printerName) > MAX_PATH) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    wsprintfW(jobName, L"%s, Job %lu", p->printerName, (unsigned long)p->jobId);
    if (!OpenPrinterW(jobName, &job, NULL)) return FALSE;

    doc.pDocName = pDocumentName;
    doc.pOutputFile = NULL;
    doc.pDatatype = p->datatype;
    if (!StartDocPrinterW(p->printer, 1, (LPBYTE)&doc)) {
        DWORD error = GetLastError();
        ClosePrinter(job);
        SetLastError(error);
        return FALSE;
    }
    while (!p->aborted && ReadPrinter(job, buffer, sizeof buffer, &read) && read > 0) {
        if (!WritePrinter(p->printer, buffer, read, &written) || written != read) {
            ok = FALSE;
            break;
        }
    }
    EndDocPrinter(p->printer);
    ClosePrinter(job);
    return ok;
}

__declspec(dllexport) BOOL WINAPI ControlPrintProcessor(HANDLE hPrintProcessor, DWORD Command) {
    PROCESSOR *p = Validate(hPrintProcessor);
    if (!p) return FALSE;
    switch (Command) {
        case JOB_CONTROL_CANCEL:
            InterlockedExchange(&p->aborted, 1);
            return TRUE;
        case JOB_CONTROL_PAUSE:
        case JOB_CONTROL_RESUME:
            return TRUE;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
    }
}

__declspec(dllexport) BOOL WINAPI ClosePrintProcessor(HANDLE hPrintProcessor) {
    PROCESSOR *p = Validate(hPrintProcessor);
    if (!p) return FALSE;
    FreeProcessor(p);
    return TRUE;
}

__declspec(dllexport) DWORD WINAPI GetPrintProcessorCapabilities(LPTSTR pValueName, DWORD dwAttributes,
                                                                 LPBYTE pData, DWORD nSize,
                                                                 LPDWORD pcbNeeded) {
    (void)pValueName;
    (void)dwAttributes;
    (void)pData;
    (void)nSize;
    if (pcbNeeded) *pcbNeeded = 0;
    return ERROR_NOT_SUPPORTED;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
