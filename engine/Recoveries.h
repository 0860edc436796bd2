// Recoveries: what recovery decided for each mailbox in one job. The backups, the counting
// pass and the extraction each meet a mailbox, and each must see it as the first one did:
// a damaged journal renamed aside leaves nothing beside the mailbox to say that it may hold
// half-written messages, and a mailbox left alone is said so once.
#pragma once

#include "engine/JobReport.h"
#include "utils/Block.h"
#include "utils/String.h"

#include <vector>

class Recoveries {
public:
    enum class Verdict {
        Usable,    // nothing was left, or everything left was put back
        NotCut,    // may hold half-written messages (said so): read, never cut, in this job
        LeftAlone, // its journal is kept or could not be judged (said why): not touched
    };

    // Puts back what an interrupted run left half-written in the mailbox, before anything
    // else is done with it, and tells the user what was found; a mailbox met again in the
    // job gets the verdict it had.
    Verdict recover(const TOVK_Utils::Block& mailboxPath, JobReport& report);

private:
    struct Known {
        TOVK_Utils::String path;
        Verdict verdict;
    };
    std::vector<Known> known_;
};
