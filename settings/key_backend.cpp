#include "settings/key_backend.h"

namespace quillon::settings {

RootKey rootKeyFromSelector(int selector)
{
    if (selector < static_cast<int>(RootKey::ClassesRoot) || selector > static_cast<int>(RootKey::DynData))
        return RootKey::CurrentUser;
    return static_cast<RootKey>(selector);
}

}  // namespace quillon::settings
