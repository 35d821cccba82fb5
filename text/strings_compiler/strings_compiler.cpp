// Build-time tool: turns the translation files resources/strings/*.po into the
// compiled-in string tables. It refuses a translation that could show a wrong
// message at run time: a missing or empty text, a text made for another English
// original, format directives that differ from the English ones, or a product
// name that was translated away. The first file given is the English one.
//
//   quillon_strings_compiler <output.cpp> <en.po> [<xx.po> ...]

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kStringCount = 92;
constexpr int kReservedStringId = 88;
constexpr const char* kProductName = "Quillon";

struct PoEntry {
    std::string context;
    std::string id;
    std::string text;
    bool fuzzy = false;
    int line = 0;
};

struct PoFile {
    std::string path;
    std::string code;
    int langId = -1;
    std::map<int, PoEntry> entries;
};

bool Fail(const std::string& where, const std::string& what) {
    std::cerr << where << ": error: " << what << "\n";
    return false;
}

bool Unquote(const std::string& raw, std::string& out, const std::string& where) {
    std::size_t first = raw.find('"');
    std::size_t last = raw.rfind('"');
    if (first == std::string::npos || last == first) return Fail(where, "expected a quoted string");
    for (std::size_t i = first + 1; i < last; ++i) {
        char c = raw[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= last) return Fail(where, "dangling backslash");
        switch (raw[i]) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                return Fail(where, std::string("unknown escape \\") + raw[i]);
        }
    }
    return true;
}

std::string HeaderField(const std::string& header, const std::string& name) {
    std::istringstream lines(header);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(name + ":", 0) == 0) {
            std::string value = line.substr(name.size() + 1);
            while (!value.empty() && value.front() == ' ') value.erase(0, 1);
            while (!value.empty() && (value.back() == ' ' || value.back() == '\r'))
                value.pop_back();
            return value;
        }
    }
    return {};
}

bool ParsePo(const std::string& path, PoFile& po) {
    po.path = path;
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail(path, "cannot open");
    std::vector<PoEntry> raw;
    PoEntry current;
    std::string* target = nullptr;
    bool fuzzyPending = false;
    bool started = false;
    std::string lastKeyword;
    std::string line;
    int lineNo = 0;
    auto flush = [&]() {
        if (started) raw.push_back(current);
        current = PoEntry();
        started = false;
        target = nullptr;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string where = path + ":" + std::to_string(lineNo);
        if (line.empty()) continue;
        if (line[0] == '#') {
            if (line.rfind("#,", 0) == 0 && line.find("fuzzy") != std::string::npos)
                fuzzyPending = true;
            continue;
        }
        std::string keyword;
        if (line[0] == '"') {
            if (target == nullptr) return Fail(where, "continuation line without a keyword");
            if (!Unquote(line, *target, where)) return false;
            continue;
        }
        keyword = line.substr(0, line.find(' '));
        if (keyword == "msgctxt" || (keyword == "msgid" && lastKeyword != "msgctxt")) {
            flush();
            started = true;
            current.line = lineNo;
            current.fuzzy = fuzzyPending;
            fuzzyPending = false;
        }
        if (keyword == "msgctxt") {
            target = &current.context;
        } else if (keyword == "msgid") {
            target = &current.id;
        } else if (keyword == "msgstr") {
            if (!started) return Fail(where, "msgstr without msgid");
            target = &current.text;
        } else {
            return Fail(where, "unknown keyword '" + keyword + "'");
        }
        if (!Unquote(line.substr(keyword.size()), *target, where)) return false;
        lastKeyword = keyword;
    }
    flush();

    bool headerSeen = false;
    for (const PoEntry& e : raw) {
        const std::string where = path + ":" + std::to_string(e.line);
        if (e.context.empty() && e.id.empty()) {
            headerSeen = true;
            po.code = HeaderField(e.text, "Language");
            const std::string id = HeaderField(e.text, "X-Quillon-Language-Id");
            try {
                po.langId = std::stoi(id, nullptr, 0);
            } catch (...) {
                return Fail(where, "header needs X-Quillon-Language-Id");
            }
            if (po.code.empty()) return Fail(where, "header needs Language");
            continue;
        }
        int stringId = -1;
        try {
            std::size_t used = 0;
            stringId = std::stoi(e.context, &used);
            if (used != e.context.size()) stringId = -1;
        } catch (...) {
            stringId = -1;
        }
        if (stringId < 0 || stringId >= kStringCount || stringId == kReservedStringId) {
            return Fail(where, "msgctxt must be a string number 0..91 other than 88, not '" +
                                   e.context + "'");
        }
        if (e.fuzzy) return Fail(where, "fuzzy translation of string " + e.context);
        if (!po.entries.emplace(stringId, e).second) {
            return Fail(where, "string " + e.context + " appears twice");
        }
    }
    if (!headerSeen) return Fail(path, "missing header entry");
    return true;
}

// The directives as written ("%s", "%d", "%02d"), in order; "%%" is text.
std::vector<std::string> Directives(const std::string& text) {
    std::vector<std::string> found;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        if (i + 1 < text.size() && text[i + 1] == '%') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < text.size() && std::string("-0#+ ").find(text[j]) != std::string::npos) ++j;
        while (j < text.size() && ((text[j] >= '0' && text[j] <= '9') || text[j] == '.')) ++j;
        while (j < text.size() && std::string("hlwLzjtI64").find(text[j]) != std::string::npos) ++j;
        found.push_back(text.substr(i, j < text.size() ? j - i + 1 : j - i));
        i = j;
    }
    return found;
}

std::string Joined(const std::vector<std::string>& list) {
    std::string out;
    for (const std::string& s : list) out += (out.empty() ? "" : " ") + s;
    return out.empty() ? "(none)" : out;
}

bool Validate(const PoFile& po, const PoFile& english) {
    bool ok = true;
    for (int id = 0; id < kStringCount; ++id) {
        if (id == kReservedStringId) continue;
        const auto it = po.entries.find(id);
        if (it == po.entries.end()) {
            ok = Fail(po.path, "string " + std::to_string(id) + " is missing");
            continue;
        }
        const PoEntry& e = it->second;
        const std::string where = po.path + ":" + std::to_string(e.line);
        if (e.text.empty()) ok = Fail(where, "string " + std::to_string(id) + " is empty");
        const PoEntry& source = english.entries.at(id);
        if (&po != &english && e.id != source.id) {
            ok = Fail(where, "string " + std::to_string(id) + " translates \"" + e.id +
                                 "\" but the English text is \"" + source.id + "\"");
        }
        if (Directives(e.text) != Directives(source.id)) {
            ok = Fail(where, "string " + std::to_string(id) + " has directives " +
                                 Joined(Directives(e.text)) + ", English has " +
                                 Joined(Directives(source.id)));
        }
        if (source.id.find(kProductName) != std::string::npos &&
            e.text.find(kProductName) == std::string::npos) {
            ok = Fail(where, "string " + std::to_string(id) + " lost the product name");
        }
    }
    return ok;
}

// Octal escapes for everything outside printable ASCII: they never run into
// the following character the way hexadecimal escapes can.
std::string CLiteral(const std::string& text) {
    std::string out = "\"";
    for (const char raw : text) {
        const auto c = static_cast<unsigned char>(raw);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += raw;
        } else if (c >= 0x20 && c < 0x7F && c != '?') {
            out += raw;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", c);
            out += buf;
        }
    }
    return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: quillon_strings_compiler <output.cpp> <en.po> [<xx.po> ...]\n";
        return 2;
    }
    std::vector<PoFile> files(static_cast<std::size_t>(argc - 2));
    bool ok = true;
    for (int i = 2; i < argc; ++i) {
        if (!ParsePo(argv[i], files[static_cast<std::size_t>(i - 2)])) ok = false;
    }
    if (!ok) return 1;
    std::set<int> langIds;
    for (const PoFile& po : files) {
        if (!Validate(po, files.front())) ok = false;
        if (!langIds.insert(po.langId).second) {
            ok = Fail(po.path, "language id " + std::to_string(po.langId) + " is used twice");
        }
    }
    if (!ok) return 1;

    std::ostringstream out;
    out << "// Generated by quillon_strings_compiler from resources/strings/*.po; do not edit.\n"
        << "#include \"text/compiled_strings.h\"\n\n"
        << "namespace quillon::text::detail {\nnamespace {\n\n";
    for (std::size_t f = 0; f < files.size(); ++f) {
        out << "const char* const kTexts" << f << "[] = {  // " << files[f].code << "\n";
        for (int id = 0; id < kStringCount; ++id) {
            const auto it = files[f].entries.find(id);
            out << "    " << CLiteral(it == files[f].entries.end() ? "" : it->second.text) << ",\n";
        }
        out << "};\n\n";
    }
    out << "}  // namespace\n\nconst CompiledStrings kCompiledStrings[] = {\n";
    for (std::size_t f = 0; f < files.size(); ++f) {
        out << "    {" << files[f].langId << ", " << CLiteral(files[f].code) << ", kTexts" << f
            << "},\n";
    }
    out << "};\n\nconst std::size_t kCompiledStringsCount = " << files.size() << ";\n\n"
        << "}  // namespace quillon::text::detail\n";

    const std::string path = argv[1];
    std::ifstream existing(path, std::ios::binary);
    std::ostringstream old;
    old << existing.rdbuf();
    if (existing && old.str() == out.str()) return 0;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << out.str();
    if (!file) {
        std::cerr << path << ": error: cannot write\n";
        return 1;
    }
    return 0;
}
