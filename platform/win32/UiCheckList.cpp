#include "platform/win32/UiCheckList.h"

#include <windowsx.h>

#include <string>

namespace zmp::win32::checklist {

namespace {

// The list box's own window procedure, kept on the subclassed window.
constexpr char kBaseProcProp[] = "ZMP.CheckList.BaseProc";
constexpr WPARAM kChkChange = 40;  // CLBN_CHKCHANGE
constexpr int kBoxSize = 13;       // the classic check box, in pixels
constexpr int kMargin = 2;

// Where the check box and the text of an item go.
struct ItemLayout {
    RECT box;
    int textLeft;
};

ItemLayout LayoutItem(const RECT& item) {
    const int height = item.bottom - item.top;
    const int size = height - 2 < kBoxSize ? (height > 2 ? height - 2 : height) : kBoxSize;
    ItemLayout layout;
    layout.box.left = item.left + kMargin;
    layout.box.top = item.top + (height - size) / 2;
    layout.box.right = layout.box.left + size;
    layout.box.bottom = layout.box.top + size;
    layout.textLeft = layout.box.right + kMargin + 1;
    return layout;
}

WNDPROC BaseProc(HWND list) {
    return reinterpret_cast<WNDPROC>(GetPropA(list, kBaseProcProp));
}

void InvalidateItem(HWND list, int index) {
    RECT rect;
    if (SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&rect)) != LB_ERR) {
        InvalidateRect(list, &rect, FALSE);
    }
}

// Flips the item's check mark and tells the parent, as a check box would.
void Toggle(HWND list, int index) {
    const LRESULT state = SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    if (state == LB_ERR) return;
    SetState(list, index, state == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
    SendMessageA(GetParent(list), WM_COMMAND,
                 MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(list)), kChkChange),
                 reinterpret_cast<LPARAM>(list));
}

// The item whose check box lies under the point (client coordinates), or -1.
int CheckBoxAt(HWND list, int x, int y) {
    const LRESULT hit = SendMessageA(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(x, y));
    if (hit == LB_ERR || HIWORD(hit) != 0) return -1;  // outside the items
    const int index = LOWORD(hit);
    RECT rect;
    if (SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&rect)) == LB_ERR) {
        return -1;
    }
    const ItemLayout layout = LayoutItem(rect);
    return x >= rect.left && x < layout.textLeft ? index : -1;
}

LRESULT CALLBACK CheckListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC base = BaseProc(list);
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        const int index = CheckBoxAt(list, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        // The list box selects and focuses the item as usual; the box then flips.
        const LRESULT result = CallWindowProcA(base, list, message, wParam, lParam);
        if (index >= 0) Toggle(list, index);
        return result;
    }
    case WM_KEYDOWN:
        if (wParam == VK_SPACE) {
            const LRESULT caret = SendMessageA(list, LB_GETCARETINDEX, 0, 0);
            const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
            if (caret >= 0 && caret < count) Toggle(list, static_cast<int>(caret));
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == ' ') return 0;  // no incremental search for the space that toggled
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(base));
        RemovePropA(list, kBaseProcProp);
        break;
    }
    return CallWindowProcA(base, list, message, wParam, lParam);
}

BOOL CALLBACK AttachChild(HWND child, LPARAM) {
    if (IsCandidate(child) && !IsCheckList(child)) {
        const LONG_PTR base = GetWindowLongPtrA(child, GWLP_WNDPROC);
        if (SetPropA(child, kBaseProcProp, reinterpret_cast<HANDLE>(base))) {
            SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CheckListProc));
        }
    }
    return TRUE;
}

}  // namespace

bool IsCandidate(HWND control) {
    char className[16] = {};
    if (!GetClassNameA(control, className, sizeof className) ||
        lstrcmpiA(className, "ListBox") != 0) {
        return false;
    }
    const LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE);
    return (style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0 &&
           (style & LBS_HASSTRINGS) != 0;
}

bool IsCheckList(HWND control) {
    return control != nullptr && GetPropA(control, kBaseProcProp) != nullptr;
}

void AttachAll(HWND dialog) {
    EnumChildWindows(dialog, &AttachChild, 0);
}

bool Measure(HWND dialog, MEASUREITEMSTRUCT& item) {
    if (item.CtlType != ODT_LISTBOX) return false;
    // A fixed-height list box asks while it is being created, before the
    // dialog can find it by id; only check lists are owner-drawn here.
    const HWND list = GetDlgItem(dialog, static_cast<int>(item.CtlID));
    if (list != nullptr && !IsCandidate(list)) return false;

    // The list box gets the dialog's font (Verdana 9 pt from the template).
    const HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    int textHeight = 0;
    if (HDC dc = GetDC(dialog)) {
        const HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
        TEXTMETRICA metrics;
        if (GetTextMetricsA(dc, &metrics)) textHeight = metrics.tmHeight;
        if (old) SelectObject(dc, old);
        ReleaseDC(dialog, dc);
    }
    item.itemHeight = static_cast<UINT>(textHeight > kBoxSize + 2 ? textHeight : kBoxSize + 2);
    return true;
}

bool Draw(const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_LISTBOX || !IsCheckList(item.hwndItem)) return false;
    const HWND list = item.hwndItem;
    const HDC dc = item.hDC;
    if (item.itemID == static_cast<UINT>(-1)) {  // empty list with the focus
        if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &item.rcItem);
        return true;
    }

    const ItemLayout layout = LayoutItem(item.rcItem);
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0 || !IsWindowEnabled(list);
    RECT boxArea = item.rcItem;
    boxArea.right = layout.textLeft;
    RECT textArea = item.rcItem;
    textArea.left = layout.textLeft;
    // System brushes: nothing to delete afterwards.
    FillRect(dc, &boxArea, GetSysColorBrush(COLOR_WINDOW));
    FillRect(dc, &textArea, GetSysColorBrush(selected && !disabled ? COLOR_HIGHLIGHT : COLOR_WINDOW));

    RECT box = layout.box;
    UINT boxState = DFCS_BUTTONCHECK;
    if (item.itemData == BST_CHECKED) boxState |= DFCS_CHECKED;
    if (disabled) boxState |= DFCS_INACTIVE;
    DrawFrameControl(dc, &box, DFC_BUTTON, boxState);

    const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, item.itemID, 0);
    if (length != LB_ERR) {
        std::string text(static_cast<size_t>(length) + 1, '\0');
        const LRESULT copied = SendMessageA(list, LB_GETTEXT, item.itemID,
                                            reinterpret_cast<LPARAM>(&text[0]));
        text.resize(copied == LB_ERR ? 0 : static_cast<size_t>(copied));

        const HFONT font = reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0));
        const HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
        const int colour = disabled ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT;
        const COLORREF oldColour = SetTextColor(dc, GetSysColor(colour));
        const int oldMode = SetBkMode(dc, TRANSPARENT);
        RECT textRect = textArea;
        textRect.left += kMargin;
        DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
        SetBkMode(dc, oldMode);
        SetTextColor(dc, oldColour);
        if (oldFont) SelectObject(dc, oldFont);
    }
    if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &textArea);
    return true;
}

DWORD GetState(HWND list, int index) {
    const LRESULT state = SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    return state == LB_ERR ? BST_UNCHECKED : static_cast<DWORD>(state);
}

void SetState(HWND list, int index, DWORD state) {
    if (SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(state)) !=
        LB_ERR) {
        InvalidateItem(list, index);
    }
}

}  // namespace zmp::win32::checklist
