// RecoveryReport: what recovery found beside a mailbox, in the one or two plain sentences
// the user reads. The mailbox and its journal are named by their file names alone.
#pragma once

#include "formats/DbxJournal.h"
#include "utils/Block.h"
#include "utils/String.h"

TOVK_Utils::String recoveryReport(const TOVK_Internet::RecoveryResult& result,
                                  const TOVK_Utils::Block& mailboxPath);
