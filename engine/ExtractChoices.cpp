#include "engine/ExtractChoices.h"

#include <algorithm>

std::vector<std::string> ExtractChoices::fileTypesOf(std::string_view list) {
    std::vector<std::string> types;
    size_t start = 0;
    while (start < list.size()) {
        const size_t end = std::min(list.find_first_of(" ,;", start), list.size());
        std::string_view type = list.substr(start, end - start);
        // What follows the last dot is what a file name's extension is compared with.
        type.remove_prefix(std::min(type.size(), type.rfind('.') + 1));
        if (!type.empty())
            types.push_back(lowerCase(type));
        start = end + 1;
    }
    return types;
}

std::string ExtractChoices::lowerCase(std::string_view type) {
    std::string lower(type);
    for (char& c : lower)
        c = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return lower;
}
