// Backups: before anything is read, a copy of every ticked mailbox in the backup folder.
// A mailbox is first put back from what an interrupted run left in its journal (a backup
// of the half-written mailbox would be no backup), then copied beside the name its backup
// takes, flushed, and renamed over it, so that a failed copy never takes an older backup
// with it. The run keeps a record of what it backed up: the jobs of one run (the store
// folders of one klovin-extract command) back each mailbox up once, never two into one
// name.
#pragma once

#include "engine/EngineView.h"
#include "engine/JobReport.h"
#include "engine/Recoveries.h"
#include "utils/Block.h"
#include "utils/FileSystem.h"
#include "utils/Path.h"
#include "utils/String.h"

#include <vector>

class Backups {
public:
    struct Made {
        TOVK_Utils::String mailbox; // the original's path
        TOVK_Utils::String backup;  // its copy's
        TOVK_Utils::FileIdentity identity;
    };

    // A new run: the backups of the run before are forgotten.
    void beginRun() { made_.clear(); }
    // Checks the backup folder, then backs up every ticked mailbox in list order. False,
    // after the user was told why, when the job must end at once. A mailbox that recovery
    // leaves alone, or that may hold half-written messages, is not cut, and so not copied.
    bool backUpAll(EngineView& view, JobReport& report, Recoveries& recoveries);
    // This run's backups, in order.
    const std::vector<Made>& backupsMade() const { return made_; }

private:
    // The backup folder as a usable path: absolute, and a folder (made when missing).
    static bool usableFolder(EngineView& view, TOVK_Utils::Path& folder);
    bool backUp(EngineView& view, JobReport& report, Recoveries& recoveries,
                const TOVK_Utils::Block& name);
    // The first name that no other mailbox of this run took, that is not the mailbox
    // itself, and (unless old backups may be replaced) that no file takes.
    void chooseName(EngineView& view, const TOVK_Utils::FileIdentity& mailbox,
                    TOVK_Utils::Path& target) const;
    // False when the user declines to replace what is there.
    bool mayReplace(EngineView& view, const TOVK_Utils::Path& target);
    static bool failed(JobReport& report, const TOVK_Utils::Block& name,
                       const TOVK_Utils::Path& target);

    std::vector<Made> made_;
    bool overwriteConfirmed_ = false; // the user agreed, in this job, to replace old backups
};
