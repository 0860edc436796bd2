#include "engine/MailStores.h"

#include <algorithm>

const char* mailClientName(MailClient client) {
    switch (client) {
    case MailClient::WindowsMail:
        return "Windows Mail";
    case MailClient::WindowsLiveMail:
        return "Windows Live Mail";
    case MailClient::OutlookExpress:
        break;
    }
    return "Outlook Express";
}

bool keepsEmlFolders(MailClient client) {
    return client != MailClient::OutlookExpress;
}

MailClient versionClient(uint32_t majorVersion) {
    return majorVersion == 6 ? MailClient::WindowsMail : MailClient::OutlookExpress;
}

namespace {

bool sameFolder(const std::string& a, const std::string& b) {
    // Windows folder names ignore case; a trailing separator names the same folder.
    auto trimmed = [](std::string s) {
        while (s.size() > 1 && (s.back() == '\\' || s.back() == '/') && s[s.size() - 2] != ':')
            s.pop_back();
        for (char& c : s)
            c = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
        return s;
    };
    return trimmed(a) == trimmed(b);
}

} // namespace

MailStores MailStores::decide(uint32_t majorVersion, const StoreReadings& readings,
                              const FolderExists& folderExists) {
    MailStores found;
    auto add = [&](MailClient client, const std::string& root) {
        if (root.empty() || !folderExists(root))
            return false;
        for (const MailStore& store : found.stores)
            if (store.client == client && sameFolder(store.root, root))
                return true;
        found.stores.push_back({client, root});
        return true;
    };
    for (const std::string& root : readings.identityRoots)
        add(MailClient::OutlookExpress, root);
    add(MailClient::WindowsMail, readings.windowsMailRoot);
    if (!add(MailClient::WindowsLiveMail, readings.windowsLiveMailRoot))
        add(MailClient::WindowsLiveMail, readings.windowsLiveMailDefault);

    found.served = versionClient(majorVersion);
    if (!found.storeOf(found.served)) {
        for (MailClient client :
             {MailClient::WindowsLiveMail, MailClient::WindowsMail, MailClient::OutlookExpress}) {
            if (found.storeOf(client)) {
                found.served = client;
                break;
            }
        }
    }
    return found;
}

const MailStore* MailStores::storeOf(MailClient client) const {
    auto it = std::find_if(stores.begin(), stores.end(),
                           [client](const MailStore& store) { return store.client == client; });
    return it == stores.end() ? nullptr : &*it;
}
