#include "formats/MailDate.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

namespace TOVK_Internet {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool sameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

bool allDigits(std::string_view token) {
    if (token.empty())
        return false;
    for (char c : token)
        if (!isDigit(c))
            return false;
    return true;
}

int number(std::string_view digits) {
    int n = 0;
    for (char c : digits)
        n = n * 10 + (c - '0');
    return n;
}

// Comments (nested parentheses) become blanks; commas separate like blanks.
std::vector<std::string_view> tokens(std::string_view text, std::string& storage) {
    storage.assign(text);
    int depth = 0;
    for (char& c : storage) {
        const char original = c;
        if (original == '(')
            ++depth;
        if (depth > 0 || original == ',' || original == '\t' || original == '\r' ||
            original == '\n')
            c = ' ';
        if (original == ')' && depth > 0)
            --depth;
    }
    std::vector<std::string_view> out;
    const std::string_view all(storage);
    size_t i = 0;
    while (i < all.size()) {
        while (i < all.size() && all[i] == ' ')
            ++i;
        const size_t start = i;
        while (i < all.size() && all[i] != ' ')
            ++i;
        if (i > start)
            out.push_back(all.substr(start, i - start));
    }
    return out;
}

int monthNumber(std::string_view token) {
    static const std::array<const char*, 12> names = {"jan", "feb", "mar", "apr", "may", "jun",
                                                      "jul", "aug", "sep", "oct", "nov", "dec"};
    if (token.size() < 3)
        return 0;
    for (size_t m = 0; m < names.size(); ++m)
        if (sameNoCase(token.substr(0, 3), names[m]))
            return int(m) + 1;
    return 0;
}

bool isWeekday(std::string_view token) {
    static const std::array<const char*, 7> names = {"mon", "tue", "wed", "thu",
                                                     "fri", "sat", "sun"};
    if (token.size() < 3)
        return false;
    for (const char* name : names)
        if (sameNoCase(token.substr(0, 3), name))
            return true;
    return false;
}

// "+hhmm", "-hhmm" or a name; minutes east of UTC. False when it is no zone at all.
bool zoneOffset(std::string_view token, int& minutes) {
    if (token.size() == 5 && (token[0] == '+' || token[0] == '-') && allDigits(token.substr(1))) {
        const int hours = number(token.substr(1, 2)), mins = number(token.substr(3, 2));
        if (mins > 59)
            return false;
        minutes = (token[0] == '-' ? -1 : 1) * (hours * 60 + mins);
        return true;
    }
    struct Named {
        const char* name;
        int hours;
    };
    static const std::array<Named, 12> named = {{{"UT", 0},
                                                 {"UTC", 0},
                                                 {"GMT", 0},
                                                 {"Z", 0},
                                                 {"EST", -5},
                                                 {"EDT", -4},
                                                 {"CST", -6},
                                                 {"CDT", -5},
                                                 {"MST", -7},
                                                 {"MDT", -6},
                                                 {"PST", -8},
                                                 {"PDT", -7}}};
    for (const Named& zone : named)
        if (sameNoCase(token, zone.name)) {
            minutes = zone.hours * 60;
            return true;
        }
    // Military letters were defined with the wrong sign; RFC 5322 reads them as unknown.
    if (token.size() == 1 && ((token[0] >= 'A' && token[0] <= 'I') ||
                              (lower(token[0]) >= 'k' && lower(token[0]) <= 'y'))) {
        minutes = 0;
        return true;
    }
    return false;
}

// "hh:mm" or "hh:mm:ss".
bool timeOfDay(std::string_view token, int& seconds) {
    int parts[3] = {0, 0, 0};
    int count = 0;
    size_t start = 0;
    for (size_t i = 0; i <= token.size(); ++i) {
        if (i < token.size() && token[i] != ':')
            continue;
        const std::string_view part = token.substr(start, i - start);
        if (count == 3 || part.empty() || part.size() > 2 || !allDigits(part))
            return false;
        parts[count++] = number(part);
        start = i + 1;
    }
    // A leap second (60) is taken as the last second of its minute.
    if (count < 2 || parts[0] > 23 || parts[1] > 59 || parts[2] > 60)
        return false;
    seconds = parts[0] * 3600 + parts[1] * 60 + std::min(parts[2], 59);
    return true;
}

// Days from 1970-01-01 to the date in the proleptic Gregorian calendar.
int64_t daysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool isLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysIn(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : days[month - 1];
}

// Two digits are 1950 to 2049; three are counted from 1900.
int fullYear(std::string_view digits) {
    const int n = number(digits);
    if (digits.size() == 2)
        return n < 50 ? 2000 + n : 1900 + n;
    if (digits.size() == 3)
        return 1900 + n;
    return n;
}

struct Fields {
    int day = 0, month = 0, year = -1, seconds = -1, zone = 0;
    bool haveZone = false;
};

bool take(std::string_view token, Fields& f) {
    if (int m = monthNumber(token); m > 0 && f.month == 0 && token.size() <= 9)
        return f.month = m, true;
    if (isWeekday(token) && f.month == 0 && f.day == 0)
        return true;
    if (f.seconds < 0 && token.find(':') != std::string_view::npos)
        return timeOfDay(token, f.seconds);
    if (allDigits(token) && token.size() <= 2 && f.day == 0 && f.year < 0)
        return f.day = number(token), true;
    if (allDigits(token) && token.size() <= 4 && f.year < 0)
        return f.year = fullYear(token), true;
    if (!f.haveZone && f.seconds >= 0 && zoneOffset(token, f.zone))
        return f.haveZone = true;
    return f.seconds >= 0 && f.year >= 0; // trailing words after a whole date are ignored
}

} // namespace

bool parseMailDate(std::string_view text, int64_t& secondsSince1970) {
    std::string storage;
    Fields f;
    for (std::string_view token : tokens(text, storage))
        if (!take(token, f))
            return false;
    if (f.month == 0 || f.day < 1 || f.year < 0 || f.seconds < 0 || f.year > 9999 ||
        f.day > daysIn(f.year, f.month))
        return false;
    secondsSince1970 =
        daysFromCivil(f.year, f.month, f.day) * 86400 + f.seconds - int64_t(f.zone) * 60;
    return true;
}

std::string isoDateTime(int64_t secondsSince1970) {
    int64_t days = secondsSince1970 / 86400, rest = secondsSince1970 % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // The inverse of daysFromCivil.
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    const int day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const int64_t year = yearOfEra + era * 400 + (month <= 2);
    char out[40];
    std::snprintf(out, sizeof out, "%04lld-%02d-%02dT%02d:%02d:%02dZ", static_cast<long long>(year),
                  month, day, int(rest / 3600), int(rest / 60 % 60), int(rest % 60));
    return out;
}

} // namespace TOVK_Internet
