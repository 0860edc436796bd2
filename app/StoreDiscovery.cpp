#include "app/StoreDiscovery.h"

#include "app/AppSettings.h"
#include "utils/win32/RegistryContext.h"

using TOVK_Utils::RegistryContext;
using TOVK_Utils::RegistryKey;
using TOVK_Utils::String;
using TOVK_Utils::SubKeyEnumerator;

void findOutlookExpressStoreRoot(AppSettings& settings) {
    RegistryContext& registry = RegistryContext::instance();
    // A look-up that ends early leaves the store root as it was.
    registry.attempt([&] {
        RegistryKey* identities = registry.openKeyForRead(registry.currentUserRoot(), "Identities");
        // Whatever the enumeration gives first is used. When it gives nothing the empty
        // name reopens "Identities" itself and the walk fails one level further down.
        String identity;
        SubKeyEnumerator(identities).enumSubKey(identity);
        RegistryKey* key = registry.openKeyForRead(identities, identity.c_str());
        for (const char* name : {"Software", "Microsoft", "Outlook Express", "5.0"})
            key = registry.openKeyForRead(key, name);
        registry.readString(key, "Store Root", settings.outlookExpressStoreRoot);
    });
}

void findWindowsMailStoreRoot(AppSettings& settings) {
    RegistryContext& registry = RegistryContext::instance();
    // A look-up that ends early leaves the store root as it was.
    registry.attempt([&] {
        RegistryKey* key = registry.currentUserRoot();
        for (const char* name : {"Software", "Microsoft", "Windows Mail"})
            key = registry.openKeyForRead(key, name);
        registry.readString(key, "Store Root", settings.windowsMailStoreRoot);
    });
}
