// MessageHeaders: what the list of saved attachments and the files' dates take from a
// message's own headers: its Date as a time, its sender and subject decoded to UTF-8.
#pragma once

#include "formats/MimePart.h"

#include <cstdint>
#include <string>

struct MessageHeaders {
    bool dated = false; // the Date header was there and readable
    int64_t date = 0;   // seconds since 1970 UTC
    std::string from;
    std::string subject;

    // The texts are decoded only when asked for: the dates alone are wanted always.
    enum class Texts { Skip, Decode };
    static MessageHeaders of(const TOVK_Internet::MimePart& message, Texts texts);
};
