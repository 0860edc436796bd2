#include "cli/LocalStores.h"

#include "app/StoreDiscovery.h"

bool findLocalStores(MailStores& stores) {
    stores = discoverMailStores(systemMajorVersion());
    return true;
}
