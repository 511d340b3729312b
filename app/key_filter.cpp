#include "app/key_filter.h"

#include <gdk/gdkkeysyms.h>

namespace quillon::app {

bool isSwallowedKey(unsigned keyval, bool control, bool alt, bool shift)
{
    if (keyval >= 'A' && keyval <= 'Z')
        keyval += 'a' - 'A';
    if (control && (keyval == GDK_KEY_c || keyval == GDK_KEY_v))
        return false;
    switch (keyval) {
    case GDK_KEY_F5:
    case GDK_KEY_F7:
    case GDK_KEY_F12:
    case GDK_KEY_Reload:
    case GDK_KEY_Refresh:
    case GDK_KEY_Back:
    case GDK_KEY_Forward:
    case GDK_KEY_HomePage:
    case GDK_KEY_Search:
    case GDK_KEY_ZoomIn:
    case GDK_KEY_ZoomOut: return true;
    default: break;
    }
    if (alt && (keyval == GDK_KEY_Left || keyval == GDK_KEY_Right || keyval == GDK_KEY_Home))
        return true;
    if (!control)
        return false;
    switch (keyval) {
    case GDK_KEY_r:
    case GDK_KEY_o:
    case GDK_KEY_p:
    case GDK_KEY_n:
    case GDK_KEY_f:
    case GDK_KEY_g:
    case GDK_KEY_w:
    case GDK_KEY_plus:
    case GDK_KEY_equal:
    case GDK_KEY_minus:
    case GDK_KEY_0:
    case GDK_KEY_KP_Add:
    case GDK_KEY_KP_Subtract: return true;
    case GDK_KEY_i: return shift;  // the inspector
    default: return false;
    }
}

}  // namespace quillon::app
