// Where this user's mail clients keep their mail, read from their registry entries under
// HKEY_CURRENT_USER and checked against the folders. What follows from the readings (which
// stores exist, which client is served) is MailStores' decision; this is only the reading.
// Every look-up closes every key it opened; a missing key or value, or one that is not
// text, is a store the registry does not name.
#pragma once

#include "engine/MailStores.h"

#include <cstdint>

class AppSettings;

// Every store root the registry names: each Outlook Express identity's "Store Root" (the
// identities in the registry's order), Windows Mail's and Windows Live Mail's, with
// Windows Live Mail's default folder; environment references expanded.
StoreReadings readStoreReadings();

// The stores this user has and the client served, for Windows of this major version.
MailStores discoverMailStores(uint32_t majorVersion);

// The system's major version as the program sees it (its manifest decides what Windows
// admits to); 0 when it cannot be told.
uint32_t systemMajorVersion();

// Puts what was found into the store root fields: the first store of each client. A
// client without a store keeps its field as it was, so that "Show Mailboxes" with
// nothing in the registry lists the last folder again.
void takeStoreRoots(const MailStores& stores, AppSettings& settings);
