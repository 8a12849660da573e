// Build-time generator for the translation tables: reads the gettext template
// (i18n/zxQuenlowsRaidCalculator.pot), the language list (i18n/languages.txt)
// and one <code>.po per language, checks them, and writes the constant tables
// that the program compiles in (sorted KEYS, one VALUES_<code> per language,
// LANGS in code order). Any inconsistency stops the build with a message that
// names the file and the key, so a broken catalogue never reaches a user.
//
// Usage: gen_i18n <i18n dir> <output .cpp> [<source dir to scan for keys>]

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kTemplateName = "zxQuenlowsRaidCalculator.pot";
constexpr const char* kLanguagesName = "languages.txt";
constexpr const char* kEnglish = "en";

struct Entry {
    std::string key;
    std::string id;    // the English text
    std::string text;  // the translation (msgstr)
    bool fuzzy = false;
    int line = 0;
};

struct Language {
    std::string code;
    std::string native_name;
    bool rtl = false;
};

int g_errors = 0;

void fail(const std::string& file, int line, const std::string& msg) {
    if (line > 0)
        std::fprintf(stderr, "%s:%d: error: %s\n", file.c_str(), line, msg.c_str());
    else
        std::fprintf(stderr, "%s: error: %s\n", file.c_str(), msg.c_str());
    ++g_errors;
}

std::string read_all(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Decodes one PO string literal ("...") with its escapes.
bool unquote(const std::string& s, std::string* out) {
    size_t b = s.find('"');
    size_t e = s.rfind('"');
    if (b == std::string::npos || e == b) return false;
    out->clear();
    for (size_t i = b + 1; i < e; ++i) {
        char c = s[i];
        if (c != '\\') {
            *out += c;
            continue;
        }
        if (++i >= e) return false;
        switch (s[i]) {
            case 'n': *out += '\n'; break;
            case 't': *out += '\t'; break;
            case 'r': *out += '\r'; break;
            case 'a': *out += '\a'; break;
            case 'b': *out += '\b'; break;
            case 'f': *out += '\f'; break;
            case 'v': *out += '\v'; break;
            case '"': *out += '"'; break;
            case '\\': *out += '\\'; break;
            default: return false;
        }
    }
    return true;
}

// Reads the entries of a PO file that carry a msgctxt (our key). The header
// entry has no context and is skipped; obsolete entries (#~) are ignored.
std::vector<Entry> parse_po(const fs::path& path) {
    std::vector<Entry> entries;
    std::istringstream in(read_all(path));
    std::string line;
    int line_no = 0;
    enum Field { NONE, CTXT, ID, STR } field = NONE;
    Entry cur;
    bool has_ctxt = false, has_id = false, fuzzy = false;
    auto finish = [&]() {
        if (has_ctxt && has_id) {
            cur.fuzzy = fuzzy;
            entries.push_back(cur);
        } else if (has_ctxt) {
            fail(path.string(), cur.line, "entry '" + cur.key + "' has no msgid");
        }
        cur = Entry{};
        has_ctxt = has_id = fuzzy = false;
        field = NONE;
    };
    while (std::getline(in, line)) {
        ++line_no;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) {
            if (field == STR) finish();
            continue;
        }
        if (line[0] == '#') {
            if (field == STR) finish();
            if (line.rfind("#,", 0) == 0 && line.find("fuzzy") != std::string::npos) fuzzy = true;
            continue;
        }
        std::string value;
        auto starts = [&](const char* kw) { return line.rfind(kw, 0) == 0; };
        if (starts("msgctxt ")) {
            if (field == STR) finish();
            if (!unquote(line.substr(8), &value)) fail(path.string(), line_no, "bad string");
            cur.key = value;
            cur.line = line_no;
            has_ctxt = true;
            field = CTXT;
        } else if (starts("msgid_plural")) {
            fail(path.string(), line_no, "plural forms are not used by this catalogue");
        } else if (starts("msgid ")) {
            if (field == STR) finish();
            if (!unquote(line.substr(6), &value)) fail(path.string(), line_no, "bad string");
            cur.id = value;
            has_id = true;
            field = ID;
            if (!has_ctxt) cur.line = line_no;
        } else if (starts("msgstr")) {
            size_t sp = line.find(' ');
            if (sp == std::string::npos || !unquote(line.substr(sp), &value))
                fail(path.string(), line_no, "bad string");
            cur.text = value;
            field = STR;
        } else if (line[0] == '"') {
            if (!unquote(line, &value)) fail(path.string(), line_no, "bad string");
            if (field == CTXT) cur.key += value;
            else if (field == ID) cur.id += value;
            else if (field == STR) cur.text += value;
            else fail(path.string(), line_no, "continuation line outside an entry");
        } else {
            fail(path.string(), line_no, "unexpected line");
        }
    }
    if (field == STR || field == ID) finish();
    return entries;
}

// The conversion signature of a template: "s"/"d" per conversion, "%%"
// skipped; false when anything else follows a "%".
bool conversions(const std::string& t, std::string* sig) {
    sig->clear();
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] != '%') continue;
        if (i + 1 >= t.size()) return false;
        char c = t[i + 1];
        if (c == 'd' || c == 's') *sig += c;
        else if (c != '%') return false;
        ++i;
    }
    return true;
}

std::string c_literal(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", c);
            out += buf;
        } else if (c == '?') {
            out += "\\?";  // never form a trigraph
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string ident(const std::string& code) {
    std::string id;
    for (char c : code) id += (std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    return id;
}

std::vector<Language> read_languages(const fs::path& path) {
    std::vector<Language> langs;
    std::istringstream in(read_all(path));
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cols;
        std::string col;
        std::istringstream ls(line);
        while (std::getline(ls, col, '\t')) cols.push_back(col);
        if (cols.size() != 3 || (cols[2] != "ltr" && cols[2] != "rtl")) {
            fail(path.string(), n, "expected: code<TAB>native name<TAB>ltr|rtl");
            continue;
        }
        langs.push_back({cols[0], cols[1], cols[2] == "rtl"});
    }
    return langs;
}

// Keys the sources ask for literally (tr("key"...)) must exist in the template.
void check_sources(const fs::path& src_dir, const std::set<std::string>& known,
                   const fs::path& pot) {
    if (src_dir.empty() || !fs::is_directory(src_dir)) return;
    const std::regex call(R"(\btr\(\s*"([a-z0-9_]+(?:\.[a-z0-9_]+)+)\")");
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(src_dir))
        if (e.path().extension() == ".cpp" || e.path().extension() == ".h") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
        const std::string text = read_all(f);
        for (std::sregex_iterator it(text.begin(), text.end(), call), end; it != end; ++it) {
            const std::string key = (*it)[1];
            if (!known.count(key))
                fail(pot.string(), 0, "key '" + key + "' used in " + f.filename().string() +
                                          " is missing from the template");
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: gen_i18n <i18n dir> <output.cpp> [source dir]\n");
        return 2;
    }
    const fs::path dir = argv[1];
    const fs::path out_path = argv[2];
    const fs::path src_dir = argc > 3 ? fs::path(argv[3]) : fs::path();
    const fs::path pot = dir / kTemplateName;

    // ---- The template: keys and English texts ----
    std::map<std::string, std::string> english;
    std::map<std::string, std::string> signature;
    for (const Entry& e : parse_po(pot)) {
        if (english.count(e.key)) fail(pot.string(), e.line, "key '" + e.key + "' appears twice");
        if (e.id.empty()) fail(pot.string(), e.line, "key '" + e.key + "' has no English text");
        std::string sig;
        if (conversions(e.id, &sig)) signature[e.key] = sig;
        english[e.key] = e.id;
    }
    if (english.empty()) fail(pot.string(), 0, "no keys found");
    std::set<std::string> known;
    for (const auto& [k, v] : english) known.insert(k);
    check_sources(src_dir, known, pot);

    std::vector<std::string> keys(known.begin(), known.end());
    std::sort(keys.begin(), keys.end(),
              [](const std::string& a, const std::string& b) { return std::strcmp(a.c_str(), b.c_str()) < 0; });
    std::map<std::string, size_t> index;
    for (size_t i = 0; i < keys.size(); ++i) index[keys[i]] = i;

    // ---- Languages and their translations ----
    std::vector<Language> langs = read_languages(dir / kLanguagesName);
    std::sort(langs.begin(), langs.end(),
              [](const Language& a, const Language& b) { return std::strcmp(a.code.c_str(), b.code.c_str()) < 0; });
    std::set<std::string> codes;
    for (const auto& l : langs)
        if (!codes.insert(l.code).second) fail((dir / kLanguagesName).string(), 0, "language '" + l.code + "' listed twice");
    if (!codes.count(kEnglish)) fail((dir / kLanguagesName).string(), 0, "English is not listed");
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".po" && !codes.count(e.path().stem().string()))
            fail(e.path().string(), 0, "file for a language that languages.txt does not list");

    std::map<std::string, std::vector<std::string>> values;
    for (const auto& l : langs) {
        std::vector<std::string>& v = values[l.code];
        v.assign(keys.size(), std::string());
        if (l.code == kEnglish) {
            for (size_t i = 0; i < keys.size(); ++i) v[i] = english[keys[i]];
            continue;
        }
        const fs::path po = dir / (l.code + ".po");
        if (!fs::exists(po)) {
            fail(po.string(), 0, "missing translation file");
            continue;
        }
        std::set<std::string> seen;
        for (const Entry& e : parse_po(po)) {
            auto it = index.find(e.key);
            if (it == index.end()) {
                fail(po.string(), e.line, "unknown key '" + e.key + "' (not in the template)");
                continue;
            }
            if (!seen.insert(e.key).second) fail(po.string(), e.line, "key '" + e.key + "' appears twice");
            if (e.fuzzy || e.text.empty()) continue;  // falls back to English
            auto sig = signature.find(e.key);
            std::string got;
            if (sig != signature.end() && (!conversions(e.text, &got) || got != sig->second))
                fail(po.string(), e.line, "key '" + e.key + "': placeholders '" + got +
                                              "' differ from the English '" + sig->second + "'");
            v[it->second] = e.text;
        }
        for (const auto& k : keys)
            if (!seen.count(k)) fail(po.string(), 0, "key '" + k + "' is missing (run msgmerge)");
    }
    if (g_errors) {
        std::fprintf(stderr, "gen_i18n: %d error(s); translation tables not written\n", g_errors);
        return 1;
    }

    // ---- Output ----
    std::ostringstream o;
    o << "// Generated by gen_i18n from the files in i18n/. Do not edit.\n"
      << "#include \"i18n_data.h\"\n\nnamespace i18n_data {\n\n"
      << "const int KEY_COUNT = " << keys.size() << ";\n"
      << "const int LANG_COUNT = " << langs.size() << ";\n\n"
      << "const char* const KEYS[] = {\n";
    for (const auto& k : keys) o << "    " << c_literal(k) << ",\n";
    o << "};\n\n";
    for (const auto& l : langs) {
        o << "const char* const VALUES_" << ident(l.code) << "[] = {\n";
        for (const auto& t : values[l.code]) o << "    " << (t.empty() ? "nullptr" : c_literal(t)) << ",\n";
        o << "};\n\n";
    }
    o << "const LangEntry LANGS[] = {\n";
    for (const auto& l : langs)
        o << "    {" << c_literal(l.code) << ", " << c_literal(l.native_name) << ", "
          << (l.rtl ? "true" : "false") << ", VALUES_" << ident(l.code) << "},\n";
    o << "};\n\n}  // namespace i18n_data\n";

    const std::string text = o.str();
    fs::create_directories(out_path.parent_path());
    const fs::path tmp = out_path.string() + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out) {
            std::fprintf(stderr, "%s: error: cannot write\n", tmp.string().c_str());
            return 1;
        }
    }
    fs::rename(tmp, out_path);
    return 0;
}
