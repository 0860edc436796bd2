// MailStores: which mail stores this user has, and which mail client the program serves.
//
// Discovery has two halves. Reading the registry and the folders is a thin Windows layer
// (the desktop program's store discovery); what follows from what it read is decided here,
// without the system, so that every rule can be tried with made-up readings:
// - a store exists when its root names an existing folder;
// - each Outlook Express identity has its own store root; identities sharing a folder
//   are one store;
// - Windows Live Mail's root is its registry value, or else its default folder;
// - the client served is the one the system's version points to (6: Windows Mail,
//   anything else: Outlook Express) when its store exists, or else the first whose store
//   exists of Windows Live Mail, Windows Mail and Outlook Express. With no store at all
//   the version's client is served.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class MailClient { OutlookExpress, WindowsMail, WindowsLiveMail };

// The client's name as the user knows it: "Outlook Express", "Windows Mail", "Windows
// Live Mail".
const char* mailClientName(MailClient client);
// Windows Mail and Windows Live Mail keep one .eml file per message in a folder tree;
// Outlook Express keeps one .dbx file per folder.
bool keepsEmlFolders(MailClient client);
// The client that Windows of this major version came with, as far as the program serves
// it: Windows Mail on Vista (and 7, 8, 8.1, which report 6 without a manifest naming
// them), Outlook Express otherwise.
MailClient versionClient(uint32_t majorVersion);

// What the registry gave, values already expanded; an empty text is a value that was
// not there.
struct StoreReadings {
    // Each identity's "Store Root", in the registry's enumeration order (identities
    // without the value are left out).
    std::vector<std::string> identityRoots;
    std::string windowsMailRoot;
    std::string windowsLiveMailRoot;
    // Where Windows Live Mail keeps its store when the registry names none, expanded.
    std::string windowsLiveMailDefault;
};

struct MailStore {
    MailClient client;
    std::string root;

    bool operator==(const MailStore&) const = default;
};

class MailStores {
public:
    using FolderExists = std::function<bool(const std::string&)>;

    // The stores that exist, Outlook Express identities first, then Windows Mail, then
    // Windows Live Mail, and the client served.
    static MailStores decide(uint32_t majorVersion, const StoreReadings& readings,
                             const FolderExists& folderExists);

    // The first existing store of client, or null.
    const MailStore* storeOf(MailClient client) const;
    bool empty() const { return stores.empty(); }

    std::vector<MailStore> stores;
    MailClient served = MailClient::OutlookExpress;
};
