// The Win32 side of the event system: the message pump, the system calls behind the window
// procedure, raw input registration, the accessibility shortcut settings, and the reading
// of raw input packets (mouse, keyboard, and game pads through the HID parsing library).
#include "input_internal.h"

#include <winternl.h>  // NTSTATUS, for the HID parsing declarations
// The HID parsing header declares its procedures without C linkage of its own.
extern "C" {
#include <hidusage.h>
#include <hidpi.h>
}

#include "assertions.h"
#include "log.h"
#include "os.h"

namespace {

struct Win32_Input_State {
    std::vector<u8> raw_input_buffer;
    std::vector<u8> preparsed_buffer;
    std::vector<HIDP_BUTTON_CAPS> button_caps;
    std::vector<USAGE> pressed_usages;
    std::vector<u16> pressed_usages_u16;
    std::vector<HIDP_VALUE_CAPS> value_caps;
};
// Never destroyed, like g_input.
Win32_Input_State &g_win32_input = *new Win32_Input_State;

constexpr UINT GET_RAW_INPUT_FAILED = (UINT)-1;
constexpr USAGE HAT_SWITCH_USAGE = 0x39;

Message_Result win32_def_window_proc(Window_Type window, u32 message, Message_Word w_param, Message_Long l_param) {
    return DefWindowProcW(window, message, w_param, l_param);
}

void win32_validate_rect(Window_Type window) { ValidateRect(window, nullptr); }
void win32_set_capture(Window_Type window) { SetCapture(window); }
void win32_release_capture() { ReleaseCapture(); }
s64 win32_get_message_extra_info() { return (s64)GetMessageExtraInfo(); }

void win32_set_window_pos(Window_Type window, s64 insert_after, s32 x, s32 y, s32 width, s32 height, u32 flags) {
    SetWindowPos(window, (HWND)(intptr_t)insert_after, x, y, width, height, flags);
}

bool win32_async_key_down(u32 virtual_key) { return (GetAsyncKeyState((int)virtual_key) & 0x8000) != 0; }

// The system hands each message to the class's procedure, which is window_proc.
void win32_pump_messages() { window_pump_events(nullptr); }

// Each shortcut setting whose feature is off loses its hot key, so pressing Shift five
// times (and the like) cannot switch the feature on in the middle of the game.
constexpr DWORD SHORTCUT_FEATURE_ON = 0x1;
constexpr DWORD SHORTCUT_HOT_KEY_FLAGS = 0x4 | 0x8 | 0x10;  // active, confirmation, sound

void disable_accessibility_shortcuts() {
    STICKYKEYS sticky = {};
    sticky.cbSize = sizeof(sticky);
    SystemParametersInfoW(SPI_GETSTICKYKEYS, sizeof(sticky), &sticky, 0);
    TOGGLEKEYS toggle = {};
    toggle.cbSize = sizeof(toggle);
    SystemParametersInfoW(SPI_GETTOGGLEKEYS, sizeof(toggle), &toggle, 0);
    FILTERKEYS filter = {};
    filter.cbSize = sizeof(filter);
    SystemParametersInfoW(SPI_GETFILTERKEYS, sizeof(filter), &filter, 0);

    if (!(sticky.dwFlags & SHORTCUT_FEATURE_ON)) {
        sticky.dwFlags &= ~SHORTCUT_HOT_KEY_FLAGS;
        SystemParametersInfoW(SPI_SETSTICKYKEYS, sizeof(sticky), &sticky, 0);
    }
    if (!(toggle.dwFlags & SHORTCUT_FEATURE_ON)) {
        toggle.dwFlags &= ~SHORTCUT_HOT_KEY_FLAGS;
        SystemParametersInfoW(SPI_SETTOGGLEKEYS, sizeof(toggle), &toggle, 0);
    }
    if (!(filter.dwFlags & SHORTCUT_FEATURE_ON)) {
        filter.dwFlags &= ~SHORTCUT_HOT_KEY_FLAGS;
        SystemParametersInfoW(SPI_SETFILTERKEYS, sizeof(filter), &filter, 0);
    }
}

void win32_init_input_system() {
    // No target window: the input goes to whichever window has the keyboard focus.
    RAWINPUTDEVICE devices[3] = {};
    const USHORT usages[3] = {2, 6, 5};  // mouse, keyboard, game pad
    for (int i = 0; i < 3; i++) {
        devices[i].usUsagePage = 1;  // generic desktop
        devices[i].usUsage = usages[i];
        devices[i].dwFlags = 0;
        devices[i].hwndTarget = nullptr;
    }
    if (!RegisterRawInputDevices(devices, 3, sizeof(RAWINPUTDEVICE))) {
        log_error("Failed to initialize Raw Input.\n");
        assert_debug(false, "RegisterRawInputDevices failed: %", os_error_text(last_os_error_code()));
    }
    disable_accessibility_shortcuts();
}

void process_gamepad_packet(RAWINPUT *raw) {
    Win32_Input_State &state = g_win32_input;
    UINT preparsed_size = 0;
    UINT result = GetRawInputDeviceInfoA(raw->header.hDevice, RIDI_PREPARSEDDATA, nullptr, &preparsed_size);
    if (result == GET_RAW_INPUT_FAILED) {
        log_error("GetRawInputDeviceInfoA failed!\n");
        return;
    }
    if (preparsed_size == 0) {
        log_error("preparsed_size of 0 in GetRawInputDeviceInfoA; not sure what to do with this. result %, raw.header is: %\n",
                  result,
                  tprint("{type = %, size = %, device = %, wparam = %}", (u32)raw->header.dwType,
                         (u32)raw->header.dwSize, (const void *)raw->header.hDevice, (u64)raw->header.wParam));
        return;
    }
    if (state.preparsed_buffer.size() < preparsed_size) state.preparsed_buffer.resize(preparsed_size);
    result = GetRawInputDeviceInfoA(raw->header.hDevice, RIDI_PREPARSEDDATA, state.preparsed_buffer.data(), &preparsed_size);
    if (result == GET_RAW_INPUT_FAILED) {
        log_error("GetRawInputDeviceInfoA with non-null target memory returned -1!\n");
        return;
    }
    PHIDP_PREPARSED_DATA preparsed = (PHIDP_PREPARSED_DATA)state.preparsed_buffer.data();

    HIDP_CAPS caps = {};
    HidP_GetCaps(preparsed, &caps);

    // The first button capability names the buttons' usage page and range.
    USHORT button_cap_count = caps.NumberInputButtonCaps;
    if (button_cap_count > 0) {
        state.button_caps.resize(button_cap_count);
        HidP_GetButtonCaps(HidP_Input, state.button_caps.data(), &button_cap_count, preparsed);
    }
    if (button_cap_count > 0) {
        const HIDP_BUTTON_CAPS &first = state.button_caps[0];
        USAGE usage_min = first.IsRange ? first.Range.UsageMin : first.NotRange.Usage;
        USAGE usage_max = first.IsRange ? first.Range.UsageMax : first.NotRange.Usage;
        // NOTE: a device may describe its range backwards; it then has no buttons we can
        // read, and its other controls still count.
        Gamepad_Button_Range range = gamepad_button_range(usage_min, usage_max);
        if (range.count > 0) {
            state.pressed_usages.resize(range.count);
            ULONG usage_count = range.count;
            NTSTATUS status = HidP_GetUsages(HidP_Input, first.UsagePage, 0, state.pressed_usages.data(), &usage_count,
                                             preparsed, (PCHAR)raw->data.hid.bRawData, raw->data.hid.dwSizeHid);
            bool read = status == HIDP_STATUS_SUCCESS;
            if (!read) log_error("HidP_GetUsages returned %", (u32)status);
            if (read && usage_count <= range.count) {
                state.pressed_usages_u16.assign(state.pressed_usages.begin(), state.pressed_usages.begin() + usage_count);
            } else {
                state.pressed_usages_u16.clear();
            }
            gamepad_report_button_read(read, state.pressed_usages_u16.data(), usage_count, range.count,
                                       range.first_usage);
        }
    }

    USHORT value_cap_count = caps.NumberInputValueCaps;
    if (value_cap_count == 0) return;
    state.value_caps.resize(value_cap_count);
    NTSTATUS status = HidP_GetValueCaps(HidP_Input, state.value_caps.data(), &value_cap_count, preparsed);
    if (!assert_debug(status == HIDP_STATUS_SUCCESS, "HidP_GetValueCaps returned %", (u32)status)) return;
    for (USHORT i = 0; i < value_cap_count; i++) {
        const HIDP_VALUE_CAPS &value_cap = state.value_caps[i];
        if (value_cap.IsRange || value_cap.NotRange.Usage != HAT_SWITCH_USAGE) continue;
        ULONG value = 0;
        status = HidP_GetUsageValue(HidP_Input, value_cap.UsagePage, 0, value_cap.NotRange.Usage, &value, preparsed,
                                    (PCHAR)raw->data.hid.bRawData, raw->data.hid.dwSizeHid);
        if (!assert_debug(status == HIDP_STATUS_SUCCESS, "HidP_GetUsageValue returned %", (u32)status)) continue;
        gamepad_report_hat(value);
    }
}

void win32_process_raw_input(Message_Long raw_input_handle) {
    Win32_Input_State &state = g_win32_input;
    if (state.raw_input_buffer.capacity() == 0) state.raw_input_buffer.reserve(8000);
    HRAWINPUT handle = (HRAWINPUT)(intptr_t)raw_input_handle;
    UINT size = 0;
    if (GetRawInputData(handle, RID_INPUT, nullptr, &size, sizeof(RAWINPUTHEADER)) == GET_RAW_INPUT_FAILED) return;
    if (size < sizeof(RAWINPUTHEADER)) return;
    state.raw_input_buffer.resize(size);
    UINT announced = size;
    UINT read = GetRawInputData(handle, RID_INPUT, state.raw_input_buffer.data(), &size, sizeof(RAWINPUTHEADER));
    if (read == GET_RAW_INPUT_FAILED) return;
    if (!assert_debug(read <= announced, "GetRawInputData read % bytes of a packet announced as %", read, announced)) return;

    RAWINPUT *raw = (RAWINPUT *)state.raw_input_buffer.data();
    switch (raw->header.dwType) {
    case RIM_TYPEMOUSE:
        if (!(raw->data.mouse.usFlags & MOUSE_MOVE_ABSOLUTE)) add_raw_mouse_motion(raw->data.mouse.lLastX, raw->data.mouse.lLastY);
        break;
    case RIM_TYPEKEYBOARD: {
        const RAWKEYBOARD &keyboard = raw->data.keyboard;
        handle_keyboard_event(keyboard.Flags & RI_KEY_E0, keyboard.Flags & RI_KEY_E1, !(keyboard.Flags & RI_KEY_BREAK),
                              keyboard.VKey, keyboard.MakeCode);
        break;
    }
    case RIM_TYPEHID:
        process_gamepad_packet(raw);
        break;
    default:
        break;
    }
}

}  // namespace

Input_OS input_os_platform() {
    Input_OS os = {};
    os.def_window_proc = win32_def_window_proc;
    os.get_client_size = window_client_size;
    os.validate_rect = win32_validate_rect;
    os.set_capture = win32_set_capture;
    os.release_capture = win32_release_capture;
    os.get_message_extra_info = win32_get_message_extra_info;
    os.set_window_pos = win32_set_window_pos;
    os.async_key_down = win32_async_key_down;
    os.pump_messages = win32_pump_messages;
    os.init_input_system = win32_init_input_system;
    os.process_raw_input = win32_process_raw_input;
    return os;
}
