#include "cli/LocalStores.h"

// Outlook Express, Windows Mail and Windows Live Mail name their stores only in a
// Windows registry.
bool findLocalStores(MailStores&) {
    return false;
}
