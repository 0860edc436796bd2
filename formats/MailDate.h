// MailDate: the Date header of a message (RFC 5322, with the obsolete forms still found in
// old mail: two- and three-digit years, zone names such as "EST" and military letters, a
// missing zone or missing seconds, comments, the day of the week with or without its
// comma, and the asctime order "Mon Jan  2 15:04:05 2006") as seconds since 1970 UTC.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace TOVK_Internet {

// False when the text holds no valid date and time; a date without a time of day is no
// date. A zone that is missing or not understood counts as UTC, as RFC 5322 has it for
// "-0000" and the military letters.
bool parseMailDate(std::string_view text, int64_t& secondsSince1970);
// "2006-01-02T15:04:05Z": the time in ISO 8601, in UTC.
std::string isoDateTime(int64_t secondsSince1970);

} // namespace TOVK_Internet
