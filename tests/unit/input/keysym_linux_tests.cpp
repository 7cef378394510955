// The X11 keysym to virtual-key table: keys are named by position (unshifted keysym), the
// numeric keypad by its Num Lock meaning, as Windows names them.
// GoogleTest first: Xlib defines None as a macro.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include "input_linux.h"
#include "message_vocabulary.h"

namespace {

TEST(Keysym_Table, VirtualKeys) {
    struct Case {
        u64 keysym;
        u32 virtual_key;
    };
    const Case cases[] = {
        {XK_a, 'A'}, {XK_z, 'Z'}, {XK_A, 'A'}, {XK_0, '0'}, {XK_9, '9'},
        {XK_F1, VK_F1}, {XK_F13, 0x7C}, {XK_F17, 0x80}, {XK_F24, VK_F24},
        {XK_KP_5, VK_NUMPAD0 + 5}, {XK_KP_Begin, VK_CLEAR}, {XK_KP_Add, VK_ADD}, {XK_KP_Enter, VK_RETURN},
        {XK_KP_Home, VK_HOME}, {XK_KP_Delete, VK_DELETE},
        {XK_Shift_L, VK_SHIFT}, {XK_Shift_R, VK_SHIFT}, {XK_Control_R, VK_CONTROL}, {XK_Alt_L, VK_MENU},
        {XK_ISO_Level3_Shift, VK_MENU}, {XK_Super_L, VK_LWIN}, {XK_Caps_Lock, VK_CAPITAL},
        {XK_Return, VK_RETURN}, {XK_BackSpace, VK_BACK}, {XK_Tab, VK_TAB}, {XK_ISO_Left_Tab, VK_TAB},
        {XK_Escape, VK_ESCAPE}, {XK_space, VK_SPACE}, {XK_Print, VK_SNAPSHOT}, {XK_Pause, VK_PAUSE},
        {XK_Scroll_Lock, VK_SCROLL}, {XK_Prior, VK_PRIOR}, {XK_Next, VK_NEXT},
        {XK_semicolon, VK_OEM_1}, {XK_slash, VK_OEM_2}, {XK_grave, VK_OEM_3}, {XK_bracketleft, VK_OEM_4},
        {XK_backslash, VK_OEM_5}, {XK_bracketright, VK_OEM_6}, {XK_apostrophe, VK_OEM_7}, {XK_equal, VK_OEM_PLUS},
        {XK_minus, VK_OEM_MINUS}, {XK_period, VK_OEM_PERIOD}, {XK_comma, VK_OEM_COMMA}, {XK_less, VK_OEM_102},
        {XK_eacute, 0}, {0x01000416, 0}, {0, 0},
    };
    for (const Case &c : cases) EXPECT_EQ(virtual_key_from_keysym(c.keysym), c.virtual_key) << std::hex << c.keysym;
}

}  // namespace
