// JobCounts: what a job did, every counter in one value. The job owns one and starts each
// job from a fresh one; the views read it whole when the job is over, and klovin-extract
// adds up the counts of the jobs of one run.
#pragma once

#include <cstdint>

struct JobCounts {
    int32_t totalMessages = 0; // found by the counting pass: the progress bar's upper bound
    int32_t mailboxes = 0;     // mailboxes and message folders begun
    int32_t emails = 0;        // messages read or tried, which is the progress bar's position
    int32_t attachments = 0;   // saved, or found already saved
    int64_t encodedBytes = 0;  // of those attachments as their messages hold them
    int64_t decodedBytes = 0;  // of their content
    int32_t keptInMessage = 0; // saved, but left in its message: not understood completely
    int32_t cutWithNote = 0;   // cut, and a note left in its place
    int32_t skipped = 0;       // left alone by the user's choices: neither saved nor cut
    int32_t saveFailures = 0;
    int32_t unreadableMessages = 0;
    int32_t writeFailures = 0; // messages not written back
    int32_t recovered = 0;     // messages found by carving a mailbox whose index is damaged
    int32_t notInIndex = 0;    // chains found by carving that a readable index does not name
    int32_t brokenOff = 0;     // carved mailboxes' messages whose chain broke off
    int32_t damagedLeft = 0;   // damaged mailboxes left as they are: cutting never rescues
    bool halted = false;       // the job ended early: a refusal, a damaged mailbox, a cancel

    // Adds another job's counts; halted when either was.
    JobCounts& operator+=(const JobCounts& other);
};
