// The event system on Windows: the message pump, raw input from mouse, keyboard and game
// pads (decoded with the HID parsing library), the accessibility shortcut settings.
#include "message_vocabulary.h"  // windows.h, tamed

// NOTE: mingw's HID headers do not declare their procedures extern "C" themselves.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include <vector>

#include "assert.h"
#include "events.h"
#include "input_os.h"
#include "log.h"

namespace {

struct Raw_Input_State {
    std::vector<u8> raw_input_buffer;
    std::vector<u8> preparsed_buffer;
    std::vector<HIDP_BUTTON_CAPS> button_caps;
    std::vector<USAGE> pressed_usages;
    std::vector<HIDP_VALUE_CAPS> value_caps;
    std::vector<u32> button_indices;
};

Raw_Input_State g_raw_input;

bool key_is_down(u32 virtual_key) { return (GetAsyncKeyState((int)virtual_key) & 0x8000) != 0; }

Client_Size client_size(Window_Type window) {
    RECT rect = {};
    GetClientRect(window, &rect);
    return {(s32)rect.right, (s32)rect.bottom};
}

Message_Result default_window_proc(Window_Type window, u32 message, Message_Word w_param, Message_Long l_param) {
    return DefWindowProcW(window, message, w_param, l_param);
}

void set_capture(Window_Type window) { SetCapture(window); }
void release_capture() { ReleaseCapture(); }
void validate_rect(Window_Type window) { ValidateRect(window, nullptr); }
u64 message_extra_info() { return (u64)GetMessageExtraInfo(); }

void set_window_pos(Window_Type window, s32 x, s32 y, s32 width, s32 height) {
    SetWindowPos(window, HWND_TOPMOST, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void pump_messages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool register_raw_input() {
    RAWINPUTDEVICE devices[3] = {};
    const USHORT usages[3] = {2, 6, 5};  // mouse, keyboard, game pad
    for (int i = 0; i < 3; i++) {
        devices[i].usUsagePage = 1;
        devices[i].usUsage = usages[i];
        devices[i].dwFlags = 0;
        devices[i].hwndTarget = nullptr;
    }
    static_assert(sizeof(RAWINPUTDEVICE) == 16);
    return RegisterRawInputDevices(devices, 3, sizeof(RAWINPUTDEVICE)) == TRUE;
}

// Clears the hot-key flags of a feature that is off, so its shortcut cannot switch it on.
template <typename Settings>
void tame_shortcut(UINT get, UINT set, Settings settings) {
    settings.cbSize = sizeof(settings);
    SystemParametersInfoW(get, sizeof(settings), &settings, 0);
    if (settings.dwFlags & 0x1) return;  // switched on by the player: leave it alone
    settings.dwFlags &= ~(DWORD)(0x4 | 0x8 | 0x10);
    SystemParametersInfoW(set, sizeof(settings), &settings, 0);
}

void switch_off_accessibility_shortcuts() {
    static_assert(sizeof(STICKYKEYS) == 8 && sizeof(TOGGLEKEYS) == 8 && sizeof(FILTERKEYS) == 24);
    tame_shortcut(SPI_GETSTICKYKEYS, SPI_SETSTICKYKEYS, STICKYKEYS{});
    tame_shortcut(SPI_GETTOGGLEKEYS, SPI_SETTOGGLEKEYS, TOGGLEKEYS{});
    tame_shortcut(SPI_GETFILTERKEYS, SPI_SETFILTERKEYS, FILTERKEYS{});
}

void process_gamepad(const RAWINPUT *raw) {
    UINT preparsed_size = 0;
    UINT result = GetRawInputDeviceInfoA(raw->header.hDevice, RIDI_PREPARSEDDATA, nullptr, &preparsed_size);
    if (result == (UINT)-1) {
        log_error("GetRawInputDeviceInfoA failed!\n");
        return;
    }
    if (preparsed_size == 0) {
        log_error("preparsed_size of 0 in GetRawInputDeviceInfoA; not sure what to do with this. result %, raw.header is: %\n",
                  (u64)result,
                  tprint("{type = %, size = %, device = %, w_param = %}", (u64)raw->header.dwType,
                         (u64)raw->header.dwSize, (const void *)raw->header.hDevice, (u64)raw->header.wParam));
        return;
    }
    if (g_raw_input.preparsed_buffer.size() < preparsed_size) g_raw_input.preparsed_buffer.resize(preparsed_size);
    if (GetRawInputDeviceInfoA(raw->header.hDevice, RIDI_PREPARSEDDATA, g_raw_input.preparsed_buffer.data(),
                               &preparsed_size) == (UINT)-1) {
        log_error("GetRawInputDeviceInfoA with non-null target memory returned -1!\n");
        return;
    }
    PHIDP_PREPARSED_DATA preparsed = (PHIDP_PREPARSED_DATA)g_raw_input.preparsed_buffer.data();

    HIDP_CAPS caps = {};
    HidP_GetCaps(preparsed, &caps);
    USHORT button_caps_count = caps.NumberInputButtonCaps;
    if (button_caps_count == 0) return;  // a device without buttons: nothing of it is ours
    g_raw_input.button_caps.resize(button_caps_count);
    HidP_GetButtonCaps(HidP_Input, g_raw_input.button_caps.data(), &button_caps_count, preparsed);
    const HIDP_BUTTON_CAPS &buttons = g_raw_input.button_caps[0];
    USAGE first_usage = buttons.Range.UsageMin;
    ULONG button_count = (ULONG)(buttons.Range.UsageMax - first_usage + 1);

    char *report = (char *)raw->data.hid.bRawData;
    ULONG report_size = raw->data.hid.dwSizeHid;
    g_raw_input.pressed_usages.resize(button_count);
    ULONG usage_count = button_count;
    HidP_GetUsages(HidP_Input, buttons.UsagePage, 0, g_raw_input.pressed_usages.data(), &usage_count, preparsed, report,
                   report_size);
    g_raw_input.button_indices.clear();
    for (ULONG i = 0; i < usage_count && i < button_count; i++) {
        g_raw_input.button_indices.push_back((u32)(g_raw_input.pressed_usages[i] - first_usage));
    }
    gamepad_update_buttons(g_raw_input.button_indices.data(), (s64)g_raw_input.button_indices.size());

    USHORT value_caps_count = caps.NumberInputValueCaps;
    g_raw_input.value_caps.resize(value_caps_count);
    NTSTATUS status = HidP_GetValueCaps(HidP_Input, g_raw_input.value_caps.data(), &value_caps_count, preparsed);
    if (!assert_debug(status == HIDP_STATUS_SUCCESS, "HidP_GetValueCaps failed: %", (s64)status)) return;
    for (USHORT i = 0; i < value_caps_count; i++) {
        const HIDP_VALUE_CAPS &value_caps = g_raw_input.value_caps[i];
        if (value_caps.IsRange || value_caps.NotRange.Usage != 0x39) continue;  // hat switches only
        ULONG value = 0;
        status = HidP_GetUsageValue(HidP_Input, value_caps.UsagePage, 0, value_caps.NotRange.Usage, &value, preparsed,
                                    report, report_size);
        if (!assert_debug(status == HIDP_STATUS_SUCCESS, "HidP_GetUsageValue failed: %", (s64)status)) continue;
        gamepad_update_hat((u32)value);
    }
}

void decode_raw_input(Message_Long raw_input_handle) {
    HRAWINPUT handle = (HRAWINPUT)(uintptr_t)raw_input_handle;
    if (g_raw_input.raw_input_buffer.capacity() < 8000) g_raw_input.raw_input_buffer.reserve(8000);
    UINT size = 0;
    GetRawInputData(handle, RID_INPUT, nullptr, &size, sizeof(RAWINPUTHEADER));
    static_assert(sizeof(RAWINPUTHEADER) == 24);
    if (size == 0) return;
    g_raw_input.raw_input_buffer.resize(size);
    UINT read = GetRawInputData(handle, RID_INPUT, g_raw_input.raw_input_buffer.data(), &size, sizeof(RAWINPUTHEADER));
    if (!assert_debug(read != (UINT)-1 && read <= size, "GetRawInputData gave % bytes after announcing %", (u64)read,
                      (u64)size)) {
        return;
    }
    const RAWINPUT *raw = (const RAWINPUT *)g_raw_input.raw_input_buffer.data();
    switch (raw->header.dwType) {
    case RIM_TYPEMOUSE:
        if (!(raw->data.mouse.usFlags & MOUSE_MOVE_ABSOLUTE)) {
            add_raw_mouse_motion(raw->data.mouse.lLastX, raw->data.mouse.lLastY);
        }
        break;
    case RIM_TYPEKEYBOARD: {
        const RAWKEYBOARD &keyboard = raw->data.keyboard;
        handle_keyboard_event(keyboard.Flags & RI_KEY_E0, keyboard.Flags & RI_KEY_E1, !(keyboard.Flags & RI_KEY_BREAK),
                              keyboard.VKey, keyboard.MakeCode);
        break;
    }
    case RIM_TYPEHID:
        process_gamepad(raw);
        break;
    }
}

}  // namespace

Input_Os platform_input_os() {
    Input_Os os;
    os.key_is_down = key_is_down;
    os.client_size = client_size;
    os.default_window_proc = default_window_proc;
    os.set_capture = set_capture;
    os.release_capture = release_capture;
    os.validate_rect = validate_rect;
    os.message_extra_info = message_extra_info;
    os.set_window_pos = set_window_pos;
    os.pump_messages = pump_messages;
    os.register_raw_input = register_raw_input;
    os.switch_off_accessibility_shortcuts = switch_off_accessibility_shortcuts;
    os.process_raw_input = decode_raw_input;
    return os;
}

Input_Os g_input_os = platform_input_os();
