#include "utils/win32/RegistryKey.h"

namespace TOVK_Utils {

void RegistryKey::close() {
    if (handle_)
        RegCloseKey(handle_);
    handle_ = nullptr;
}

} // namespace TOVK_Utils
