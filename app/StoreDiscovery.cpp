#include "app/StoreDiscovery.h"

#include "app/AppSettings.h"
#include "utils/FileSystem.h"
#include "utils/win32/RegistryContext.h"

#include <windows.h>

using TOVK_Utils::Block;
using TOVK_Utils::RegistryContext;
using TOVK_Utils::RegistryKey;
using TOVK_Utils::String;
using TOVK_Utils::SubKeyEnumerator;

namespace {

std::string textOf(const String& s) {
    return std::string(s.c_str(), size_t(s.length()));
}

// The "Store Root" at the end of a key path below HKEY_CURRENT_USER; empty when any key
// or the value is missing or is not text.
std::string storeRootAt(std::initializer_list<const char*> path) {
    RegistryContext& registry = RegistryContext::instance();
    String root;
    registry.attempt([&] {
        RegistryKey* key = registry.currentUserRoot();
        for (const char* name : path)
            key = registry.openKeyForRead(key, name);
        registry.readString(key, "Store Root", root);
    });
    return textOf(root);
}

// The identities' names first, in the registry's order, so that each identity's walk
// runs as a sequence of its own: one without a store does not end the others'.
std::vector<std::string> identityNames() {
    RegistryContext& registry = RegistryContext::instance();
    std::vector<std::string> names;
    registry.attempt([&] {
        RegistryKey* identities = registry.openKeyForRead(registry.currentUserRoot(), "Identities");
        SubKeyEnumerator enumerator(identities);
        String name;
        while (enumerator.enumSubKey(name))
            names.push_back(textOf(name));
    });
    return names;
}

} // namespace

StoreReadings readStoreReadings() {
    StoreReadings readings;
    for (const std::string& identity : identityNames()) {
        std::string root = storeRootAt(
            {"Identities", identity.c_str(), "Software", "Microsoft", "Outlook Express", "5.0"});
        if (!root.empty())
            readings.identityRoots.push_back(root);
    }
    readings.windowsMailRoot = storeRootAt({"Software", "Microsoft", "Windows Mail"});
    readings.windowsLiveMailRoot = storeRootAt({"Software", "Microsoft", "Windows Live Mail"});
    String defaultRoot;
    defaultRoot.expandEnvironment(Block("%LOCALAPPDATA%\\Microsoft\\Windows Live Mail"));
    // Without the variable (Windows XP) there is no default folder to look in.
    if (defaultRoot.find("%", 0) < 0)
        readings.windowsLiveMailDefault = textOf(defaultRoot);
    return readings;
}

MailStores discoverMailStores(uint32_t majorVersion) {
    return MailStores::decide(majorVersion, readStoreReadings(), [](const std::string& folder) {
        return TOVK_Utils::isDirectory(String(Block(folder.c_str())));
    });
}

uint32_t systemMajorVersion() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return 0;
    return version.dwMajorVersion;
}

void takeStoreRoots(const MailStores& stores, AppSettings& settings) {
    struct Field {
        MailClient client;
        String& root;
    } const fields[] = {
        {MailClient::OutlookExpress, settings.outlookExpressStoreRoot},
        {MailClient::WindowsMail, settings.windowsMailStoreRoot},
        {MailClient::WindowsLiveMail, settings.windowsLiveMailStoreRoot},
    };
    for (const Field& field : fields) {
        if (const MailStore* store = stores.storeOf(field.client))
            field.root = String(Block(store->root.c_str()));
    }
}
