#include "engine/JobCounts.h"

JobCounts& JobCounts::operator+=(const JobCounts& other) {
    totalMessages += other.totalMessages;
    mailboxes += other.mailboxes;
    emails += other.emails;
    attachments += other.attachments;
    encodedBytes += other.encodedBytes;
    decodedBytes += other.decodedBytes;
    keptInMessage += other.keptInMessage;
    cutWithNote += other.cutWithNote;
    skipped += other.skipped;
    saveFailures += other.saveFailures;
    unreadableMessages += other.unreadableMessages;
    writeFailures += other.writeFailures;
    recovered += other.recovered;
    notInIndex += other.notInIndex;
    brokenOff += other.brokenOff;
    damagedLeft += other.damagedLeft;
    halted = halted || other.halted;
    return *this;
}
