// Build-time generator for the desktop entry and the AppStream metainfo: copies
// a template and expands every line that holds a catalogue key in {{…}} into
// the English text (from the .pot) followed by one line per translated language
// (from the .po files), so menus and software centres speak the user's language.
//
// Usage: gen_desktop <i18n dir> <template> <output>
//
// A template line reads prefix{{key}}suffix or prefix{{key|nostop}}suffix.
// A prefix ending in '=' makes desktop-entry lines (Comment[de]=…), one ending
// in '>' makes XML lines (<summary xml:lang="de">…). "nostop" drops a final
// full stop, which AppStream summaries must not carry.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kTemplateName = "zxQuenlowsRaidCalculator.pot";
constexpr const char* kLanguagesName = "languages.txt";
constexpr const char* kEnglish = "en";
constexpr const char* kOpen = "{{";
constexpr const char* kClose = "}}";
constexpr const char* kNoStop = "|nostop";

// Catalogue codes that desktops spell differently. Anything else is already
// a valid desktop-entry and AppStream locale name.
const std::map<std::string, std::string> kLocaleNames = {
    {"zh", "zh_CN"},
};

// Sentence-final marks of the scripts in the catalogue.
const char* const kStops[] = {".", "。", "．", "।", "။", "።", "۔", "։"};

struct Entry {
    std::string text;
    bool fuzzy = false;
};

using Catalogue = std::map<std::string, Entry>;  // key -> entry

std::string read_all(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Decodes one PO string literal ("...") with the escapes translators use.
std::string unquote(const std::string& s) {
    const size_t b = s.find('"'), e = s.rfind('"');
    std::string out;
    if (b == std::string::npos || e == b) return out;
    for (size_t i = b + 1; i < e; ++i) {
        if (s[i] != '\\' || i + 1 >= e) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    return out;
}

// Keys and texts of a PO file. For the template the text is the msgid (the
// English), for a translation the msgstr. gen_i18n checks the files' shape;
// this only reads them.
Catalogue read_po(const fs::path& path, bool english) {
    Catalogue cat;
    std::istringstream in(read_all(path));
    std::string line, key, *field = nullptr;
    Entry cur;
    bool fuzzy = false;
    auto finish = [&] {
        if (!key.empty()) {
            cur.fuzzy = fuzzy;
            cat[key] = cur;
        }
        key.clear();
        cur = Entry{};
        fuzzy = false;
        field = nullptr;
    };
    std::string ignored;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) {
            finish();
        } else if (line[0] == '#') {
            if (!key.empty()) finish();
            if (line.rfind("#,", 0) == 0 && line.find("fuzzy") != std::string::npos) fuzzy = true;
        } else if (line.rfind("msgctxt ", 0) == 0) {
            if (!key.empty()) finish();
            key = unquote(line);
            field = &key;
        } else if (line.rfind("msgid ", 0) == 0) {
            field = english ? &cur.text : &ignored;
            *field = unquote(line);
        } else if (line.rfind("msgstr ", 0) == 0) {
            field = english ? &ignored : &cur.text;
            *field = unquote(line);
        } else if (line[0] == '"' && field) {
            *field += unquote(line);
        }
    }
    finish();
    return cat;
}

std::vector<std::string> read_languages(const fs::path& path) {
    std::vector<std::string> codes;
    std::istringstream in(read_all(path));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::string code = line.substr(0, line.find('\t'));
        if (code != kEnglish) codes.push_back(code);
    }
    return codes;
}

std::string desktop_escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out;
}

std::string xml_escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else out += c;
    }
    return out;
}

std::string without_stop(std::string s) {
    for (const char* stop : kStops)
        if (s.ends_with(stop)) {
            s.resize(s.size() - std::string(stop).size());
            break;
        }
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: gen_desktop <i18n dir> <template> <output>\n");
        return 2;
    }
    const fs::path dir = argv[1], tmpl = argv[2], out_path = argv[3];
    const Catalogue english = read_po(dir / kTemplateName, true);
    const std::vector<std::string> codes = read_languages(dir / kLanguagesName);
    std::map<std::string, Catalogue> translations;
    for (const auto& code : codes) translations[code] = read_po(dir / (code + ".po"), false);

    std::istringstream in(read_all(tmpl));
    std::ostringstream o;
    std::string line;
    int line_no = 0;
    while (std::getline(in, line)) {
        ++line_no;
        const size_t open = line.find(kOpen);
        const size_t close = open == std::string::npos ? open : line.find(kClose, open);
        if (close == std::string::npos) {
            o << line << '\n';
            continue;
        }
        const std::string prefix = line.substr(0, open), suffix = line.substr(close + 2);
        std::string key = line.substr(open + 2, close - open - 2);
        const bool no_stop = key.ends_with(kNoStop);
        if (no_stop) key.resize(key.size() - std::string(kNoStop).size());
        const bool xml = prefix.ends_with(">");
        auto en = english.find(key);
        if (en == english.end() || (!xml && !prefix.ends_with("="))) {
            std::fprintf(stderr, "%s:%d: error: unknown key '%s' or a line that is neither key= nor <tag>\n",
                         tmpl.string().c_str(), line_no, key.c_str());
            return 1;
        }
        auto value = [&](const std::string& t) {
            const std::string v = no_stop ? without_stop(t) : t;
            return xml ? xml_escape(v) : desktop_escape(v);
        };
        const std::string head = prefix.substr(0, prefix.size() - 1);
        o << prefix << value(en->second.text) << suffix << '\n';
        for (const auto& code : codes) {
            auto it = translations[code].find(key);
            if (it == translations[code].end() || it->second.fuzzy || it->second.text.empty()) continue;
            auto named = kLocaleNames.find(code);
            const std::string locale = named != kLocaleNames.end() ? named->second : code;
            if (xml)
                o << head << " xml:lang=\"" << locale << "\">";
            else
                o << head << '[' << locale << "]=";
            o << value(it->second.text) << suffix << '\n';
        }
    }

    const fs::path tmp = out_path.string() + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << o.str();
        if (!out) {
            std::fprintf(stderr, "%s: error: cannot write\n", tmp.string().c_str());
            return 1;
        }
    }
    fs::rename(tmp, out_path);
    return 0;
}
