// The checks of the destination folder before a job reads anything: it must not lie in
// what the job reads, and it must exist (made when the user agrees).
#pragma once

#include "engine/EngineView.h"
#include "engine/JobReport.h"
#include "utils/String.h"

// Saved attachments that land in a tree being read are read as mail on the next run (a
// saved .eml or .dbx attachment then gets cut), and skipping them instead would hide
// real mail when the destination is a message folder: such a destination is refused.
// True, after the user was told, when the destination is the mailbox folder or lies in
// a ticked message folder.
bool destinationIsBeingRead(EngineView& view, JobReport& report,
                            const TOVK_Utils::String& destination);
// True when the destination folder exists or the user had it made.
bool prepareDestination(EngineView& view, JobReport& report);
