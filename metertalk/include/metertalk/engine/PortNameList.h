#pragma once

#include <string>

// Hands each item of a port-name list to add, in order. Items are joined by "||"; a list without
// one is a single item, and an empty list or a trailing "||" gives an empty last item.
template <typename Add> void SplitPortNames(const std::string& list, Add add) {
    size_t start = 0;
    for (size_t bar; (bar = list.find("||", start)) != std::string::npos; start = bar + 2)
        add(list.substr(start, bar - start));
    add(list.substr(start));
}
