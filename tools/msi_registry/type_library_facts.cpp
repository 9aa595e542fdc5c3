#include "type_library_facts.h"

#include <cctype>
#include <stdexcept>

namespace {

struct Attribute {
    std::string name;
    std::string argument; // the text between the parentheses, quotes removed; empty without
};

class IdlScanner {
public:
    explicit IdlScanner(std::string_view text) : m_text(text) {}

    // Skips white space and comments; false at the end of the text.
    bool SkipBlank()
    {
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++m_pos;
            } else if (m_text.compare(m_pos, 2, "//") == 0) {
                const std::size_t end = m_text.find('\n', m_pos);
                m_pos = end == std::string_view::npos ? m_text.size() : end + 1;
            } else if (m_text.compare(m_pos, 2, "/*") == 0) {
                const std::size_t end = m_text.find("*/", m_pos + 2);
                if (end == std::string_view::npos)
                    throw std::runtime_error("IDL: unterminated comment");
                m_pos = end + 2;
            } else {
                return true;
            }
        }
        return false;
    }

    char Peek() const { return m_pos < m_text.size() ? m_text[m_pos] : '\0'; }

    // An identifier, or a single other character (a quoted string as a whole).
    std::string NextToken()
    {
        if (!SkipBlank())
            return {};
        const std::size_t start = m_pos;
        const char c = m_text[m_pos];
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
            while (m_pos < m_text.size() &&
                   (std::isalnum(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '_'))
                ++m_pos;
        } else if (c == '"') {
            const std::size_t end = m_text.find('"', m_pos + 1);
            if (end == std::string_view::npos)
                throw std::runtime_error("IDL: unterminated string");
            m_pos = end + 1;
        } else {
            ++m_pos;
        }
        return std::string(m_text.substr(start, m_pos - start));
    }

    // After a '[': the attributes up to the matching ']'.
    std::vector<Attribute> AttributeList()
    {
        std::vector<Attribute> attributes;
        for (;;) {
            std::string token = NextToken();
            if (token.empty())
                throw std::runtime_error("IDL: unterminated attribute list");
            if (token == "]")
                return attributes;
            if (token == ",")
                continue;
            Attribute attribute{token, {}};
            SkipBlank();
            if (Peek() == '(') {
                const std::size_t end = m_text.find(')', m_pos);
                if (end == std::string_view::npos)
                    throw std::runtime_error("IDL: unterminated attribute argument");
                std::string argument(m_text.substr(m_pos + 1, end - m_pos - 1));
                while (!argument.empty() && std::isspace(static_cast<unsigned char>(argument.back())))
                    argument.pop_back();
                while (!argument.empty() && std::isspace(static_cast<unsigned char>(argument.front())))
                    argument.erase(0, 1);
                if (argument.size() >= 2 && argument.front() == '"' && argument.back() == '"')
                    argument = argument.substr(1, argument.size() - 2);
                attribute.argument = argument;
                m_pos = end + 1;
            }
            attributes.push_back(attribute);
        }
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

const Attribute* Find(const std::vector<Attribute>& attributes, const char* name)
{
    for (const Attribute& attribute : attributes) {
        if (attribute.name == name)
            return &attribute;
    }
    return nullptr;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, from an uuid() argument.
std::string BracedGuid(const std::string& text, const std::string& owner)
{
    bool valid = text.size() == 36;
    std::string guid = "{";
    for (std::size_t i = 0; valid && i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const char c = text[i];
        valid = dash ? c == '-' : std::isxdigit(static_cast<unsigned char>(c)) != 0;
        guid += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (!valid)
        throw std::runtime_error("IDL: " + owner + " has no valid uuid");
    return guid + "}";
}

} // namespace

TypeLibraryFacts ReadTypeLibraryFacts(std::string_view idl)
{
    TypeLibraryFacts facts;
    bool haveLibrary = false;
    IdlScanner scanner(idl);
    std::vector<Attribute> pending;
    for (std::string token = scanner.NextToken(); !token.empty(); token = scanner.NextToken()) {
        if (token == "[") {
            pending = scanner.AttributeList();
            continue;
        }
        if (token == "interface" || token == "library") {
            const std::string name = scanner.NextToken();
            const Attribute* uuid = Find(pending, "uuid");
            // A forward reference ("interface IConnect;") carries no attributes.
            if (uuid) {
                if (token == "library") {
                    if (haveLibrary)
                        throw std::runtime_error("IDL: more than one library block");
                    haveLibrary = true;
                    facts.libid = BracedGuid(uuid->argument, name);
                    const Attribute* version = Find(pending, "version");
                    facts.version = version ? version->argument : "0.0";
                    if (facts.version.find('.') == std::string::npos)
                        facts.version += ".0";
                    const Attribute* lcid = Find(pending, "lcid");
                    facts.lcid = lcid ? lcid->argument : "0";
                    const Attribute* help = Find(pending, "helpstring");
                    facts.helpString = help ? help->argument : "";
                } else if (Find(pending, "dual") || Find(pending, "oleautomation")) {
                    facts.automationInterfaces.push_back({name, BracedGuid(uuid->argument, name)});
                }
            }
        }
        pending.clear();
    }
    if (!haveLibrary)
        throw std::runtime_error("IDL: no library block with a uuid");
    return facts;
}
