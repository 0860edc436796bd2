// The mail stores of the user who runs the command, found the way the desktop program
// finds them. Only Windows has mail clients' registry entries to look in.
#pragma once

#include "engine/MailStores.h"

// False where there is nothing to look in (Linux); stores is then left empty.
bool findLocalStores(MailStores& stores);
