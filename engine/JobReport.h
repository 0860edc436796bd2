// JobReport: how the job's counts and problems reach the view as the job goes. A shown
// counter's new value is posted to its label at once ("%d", or bytes as "%.1f MB" of
// 2^20 bytes); a problem becomes one line (reportProblem); an error a box with "Ok".
// The counts it changes are the job's own JobCounts value.
#pragma once

#include "engine/EngineView.h"
#include "engine/JobCounts.h"
#include "utils/Block.h"

#include <cstdint>

class JobReport {
public:
    JobReport(EngineView& view, JobCounts& counts) : view_(view), counts_(counts) {}

    EngineView& view() { return view_; }
    JobCounts& counts() { return counts_; }

    // A mailbox or message folder begun.
    void addMailbox();
    // A message read, or tried: its counter, and the progress bar moves with it.
    void addEmail();
    // An attachment saved: its bytes as the message holds them and as decoded.
    void addSaved(int64_t encodedLength, int64_t decodedLength);
    // An attachment the user's choices leave alone.
    void addSkipped();

    // One line naming what could not be done.
    void problem(const TOVK_Utils::Block& text);
    // A box titled "Error" with the one button "Ok".
    void showError(ViewOwner owner, const TOVK_Utils::Block& message);
    // A message not written back, counted, and why.
    void notWrittenBack(const TOVK_Utils::Block& where, const char* why);

private:
    void postCount(ViewCounter label, int32_t value);
    void postMegabytes(ViewCounter label, int64_t bytes);

    EngineView& view_;
    JobCounts& counts_;
};
