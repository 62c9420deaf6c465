// A small XML check for the chart tests.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zt::replay::testing {

// A small well-formedness check: one root, tags nested and closed, quoted
// attributes without repeats, only the five predefined entities or
// character references, no stray '<' or '&'.
// Every element goes into elements (when given) as its attributes, its name
// under the key "<>".
inline ::testing::AssertionResult WellFormedXml(std::string_view x,
                                               std::vector<std::map<std::string, std::string>>* elements) {
    std::vector<std::string> open;
    bool rootDone = false;
    const auto entityOk = [](std::string_view s) {
        for (std::size_t i = s.find('&'); i != std::string_view::npos; i = s.find('&', i + 1)) {
            const std::size_t semi = s.find(';', i);
            if (semi == std::string_view::npos) return false;
            const std::string_view e = s.substr(i + 1, semi - i - 1);
            if (e != "amp" && e != "lt" && e != "gt" && e != "quot" && e != "apos" && (e.empty() || e[0] != '#'))
                return false;
        }
        return true;
    };
    std::size_t i = 0;
    if (x.substr(0, 5) == "<?xml") i = x.find("?>") + 2;
    while (i < x.size()) {
        const std::size_t lt = x.find('<', i);
        const std::string_view text = x.substr(i, lt == std::string_view::npos ? x.npos : lt - i);
        if (!entityOk(text)) return ::testing::AssertionFailure() << "bad text near offset " << i;
        if (open.empty() && text.find_first_not_of(" \t\r\n") != std::string_view::npos)
            return ::testing::AssertionFailure() << "text outside the root element at offset " << i;
        if (lt == std::string_view::npos) break;
        const std::size_t gt = x.find('>', lt);
        if (gt == std::string_view::npos) return ::testing::AssertionFailure() << "unclosed tag at " << lt;
        std::string_view tag = x.substr(lt + 1, gt - lt - 1);
        i = gt + 1;
        if (tag.find('<') != std::string_view::npos) return ::testing::AssertionFailure() << "'<' in a tag at " << lt;
        if (!tag.empty() && tag[0] == '/') {
            if (open.empty() || open.back() != tag.substr(1))
                return ::testing::AssertionFailure() << "</" << tag.substr(1) << "> does not close the open tag";
            open.pop_back();
            if (open.empty()) rootDone = true;
            continue;
        }
        const bool empty = !tag.empty() && tag.back() == '/';
        if (empty) tag.remove_suffix(1);
        const std::size_t nameEnd = tag.find_first_of(" \t\r\n");
        const std::string name(tag.substr(0, nameEnd));
        if (name.empty()) return ::testing::AssertionFailure() << "tag without a name at " << lt;
        if (open.empty() && rootDone) return ::testing::AssertionFailure() << "a second root element <" << name << ">";
        std::map<std::string, std::string> attrs;
        std::string_view rest = nameEnd == std::string_view::npos ? std::string_view{} : tag.substr(nameEnd);
        while (true) {
            const std::size_t a = rest.find_first_not_of(" \t\r\n");
            if (a == std::string_view::npos) break;
            const std::size_t eq = rest.find('=', a);
            if (eq == std::string_view::npos || eq + 1 >= rest.size() || rest[eq + 1] != '"')
                return ::testing::AssertionFailure() << "attribute without a quoted value in <" << name << ">";
            const std::size_t close = rest.find('"', eq + 2);
            if (close == std::string_view::npos) return ::testing::AssertionFailure() << "unterminated attribute";
            const std::string key(rest.substr(a, eq - a));
            const std::string_view value = rest.substr(eq + 2, close - eq - 2);
            if (!entityOk(value)) return ::testing::AssertionFailure() << "bad entity in " << key;
            if (!attrs.emplace(key, value).second) return ::testing::AssertionFailure() << "repeated " << key;
            rest.remove_prefix(close + 1);
        }
        if (elements != nullptr) {
            attrs["<>"] = name;
            elements->push_back(attrs);
        }
        if (!empty) open.push_back(name);
        else if (open.empty()) rootDone = true;
    }
    if (!open.empty()) return ::testing::AssertionFailure() << "<" << open.back() << "> never closed";
    if (!rootDone) return ::testing::AssertionFailure() << "no root element";
    return ::testing::AssertionSuccess();
}

}  // namespace zt::replay::testing
