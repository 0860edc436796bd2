#include "engine/MailStores.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using C = MailClient;

const std::string oe1 = "C:\\Identity1\\Store";
const std::string oe2 = "C:\\Identity2\\Store";
const std::string wm = "C:\\Users\\Ann\\AppData\\Local\\Microsoft\\Windows Mail";
const std::string wlm = "D:\\Mail\\Live";
const std::string wlmDefault = "C:\\Users\\Ann\\AppData\\Local\\Microsoft\\Windows Live Mail";

// Every root named, as the registry would give them; which exist is up to each case.
StoreReadings allNamed() {
    StoreReadings r;
    r.identityRoots = {oe1, oe2};
    r.windowsMailRoot = wm;
    r.windowsLiveMailRoot = wlm;
    r.windowsLiveMailDefault = wlmDefault;
    return r;
}

MailStores decideWith(uint32_t version, const StoreReadings& readings,
                      const std::set<std::string>& existing) {
    return MailStores::decide(version, readings, [&existing](const std::string& folder) {
        return existing.count(folder) != 0;
    });
}

struct ServedCase {
    const char* shows;
    uint32_t version;
    std::set<std::string> existing;
    MailClient served;
};

TEST(MailStoresTest, TheClientServed) {
    // Each client alone and none at all on each version are tried with the registry too.
    const std::vector<ServedCase> cases = {
        {"nothing at all: the version's client", 6, {}, C::WindowsMail},
        {"Vista with its own store and others", 6, {oe1, wm, wlm}, C::WindowsMail},
        {"10 with an Outlook Express store kept", 10, {oe2, wlm}, C::OutlookExpress},
        {"7 (reports 6) with Windows Live Mail only", 6, {wlm}, C::WindowsLiveMail},
        {"Windows Live Mail comes before Windows Mail", 5, {wm, wlm}, C::WindowsLiveMail},
        {"Windows Mail comes before Outlook Express", 10, {wm}, C::WindowsMail},
        {"the default folder counts as Windows Live Mail", 10, {wlmDefault}, C::WindowsLiveMail},
    };
    for (const ServedCase& c : cases) {
        MailStores stores = decideWith(c.version, allNamed(), c.existing);
        EXPECT_EQ(stores.served, c.served) << c.shows;
        EXPECT_EQ(stores.empty(), c.existing.empty()) << c.shows;
    }
}

struct RootCase {
    const char* shows;
    StoreReadings readings;
    std::set<std::string> existing;
    std::vector<MailStore> stores;
};

TEST(MailStoresTest, TheStoresFound) {
    StoreReadings noValue = allNamed();
    noValue.windowsLiveMailRoot.clear();
    StoreReadings sameIdentityFolder = allNamed();
    sameIdentityFolder.identityRoots = {oe1, "c:\\identity1\\store\\", oe2};
    StoreReadings onlyDefault;
    onlyDefault.windowsLiveMailDefault = wlmDefault;

    const std::vector<RootCase> cases = {
        {"every store, in their order",
         allNamed(),
         {oe1, oe2, wm, wlm, wlmDefault},
         {{C::OutlookExpress, oe1},
          {C::OutlookExpress, oe2},
          {C::WindowsMail, wm},
          {C::WindowsLiveMail, wlm}}},
        {"a missing folder is no store", allNamed(), {oe2}, {{C::OutlookExpress, oe2}}},
        {"the registry value's folder is missing: the default folder",
         allNamed(),
         {wlmDefault},
         {{C::WindowsLiveMail, wlmDefault}}},
        {"no registry value: the default folder",
         noValue,
         {wlm, wlmDefault},
         {{C::WindowsLiveMail, wlmDefault}}},
        {"identities sharing a folder are one store",
         sameIdentityFolder,
         {oe1, "c:\\identity1\\store\\", oe2},
         {{C::OutlookExpress, oe1}, {C::OutlookExpress, oe2}}},
        {"nothing named: nothing asked of the file system", StoreReadings{}, {""}, {}},
        {"only the default folder, which exists",
         onlyDefault,
         {wlmDefault},
         {{C::WindowsLiveMail, wlmDefault}}},
    };
    for (const RootCase& c : cases) {
        MailStores stores = decideWith(10, c.readings, c.existing);
        EXPECT_EQ(stores.stores, c.stores) << c.shows;
    }
}

TEST(MailStoresTest, TheFirstStoreOfEachClient) {
    MailStores stores = decideWith(6, allNamed(), {oe2, oe1, wlm});
    ASSERT_NE(stores.storeOf(C::OutlookExpress), nullptr);
    EXPECT_EQ(stores.storeOf(C::OutlookExpress)->root, oe1); // enumeration order, not the set's
    EXPECT_EQ(stores.storeOf(C::WindowsMail), nullptr);
    EXPECT_EQ(stores.served, C::WindowsLiveMail);
}

TEST(MailStoresTest, NamesAndForms) {
    struct {
        MailClient client;
        const char* name;
        bool eml;
    } const clients[] = {
        {C::OutlookExpress, "Outlook Express", false},
        {C::WindowsMail, "Windows Mail", true},
        {C::WindowsLiveMail, "Windows Live Mail", true},
    };
    for (const auto& c : clients) {
        EXPECT_STREQ(mailClientName(c.client), c.name);
        EXPECT_EQ(keepsEmlFolders(c.client), c.eml) << c.name;
    }
    for (uint32_t version : {4u, 5u, 7u, 10u, 11u})
        EXPECT_EQ(versionClient(version), C::OutlookExpress) << version;
    EXPECT_EQ(versionClient(6), C::WindowsMail);
}

} // namespace
