#include "com/registry_script.h"

#include <algorithm>

namespace {

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = LowerAscii(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::size_t LineAt(std::string_view text, std::size_t offset)
{
    return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
}

// Offset of the first NUL byte or malformed UTF-8 sequence (overlong forms and surrogates
// included), or npos when the whole text is good. The registry gets UTF-16 made from it.
std::size_t FindInvalidText(std::string_view text)
{
    static const std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead == 0)
            return i;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        std::uint32_t code;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
        } else {
            return i;
        }
        if (text.size() - i < length)
            return i;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return i;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return i;
        i += length;
    }
    return std::string_view::npos;
}

bool ParseRoot(std::string_view name, ScriptRoot* root)
{
    static const struct {
        const char* shortName;
        const char* longName;
        ScriptRoot root;
    } kRoots[] = {
        {"HKCR", "HKEY_CLASSES_ROOT", ScriptRoot::ClassesRoot},
        {"HKCU", "HKEY_CURRENT_USER", ScriptRoot::CurrentUser},
        {"HKLM", "HKEY_LOCAL_MACHINE", ScriptRoot::LocalMachine},
        {"HKU", "HKEY_USERS", ScriptRoot::Users},
        {"HKPD", "HKEY_PERFORMANCE_DATA", ScriptRoot::PerformanceData},
        {"HKDD", "HKEY_DYN_DATA", ScriptRoot::DynData},
        {"HKCC", "HKEY_CURRENT_CONFIG", ScriptRoot::CurrentConfig},
    };
    for (const auto& entry : kRoots) {
        if (EqualsNoCase(name, entry.shortName) || EqualsNoCase(name, entry.longName)) {
            *root = entry.root;
            return true;
        }
    }
    return false;
}

// Decimal, or hexadecimal after "0x"; leading zeros are decimal ("00000003"), not octal.
bool ParseNumber(std::string_view text, std::uint32_t* number)
{
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && LowerAscii(text[1]) == 'x') {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return false;
    std::uint64_t value = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
            return false;
        value = value * base + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFu)
            return false;
    }
    *number = static_cast<std::uint32_t>(value);
    return true;
}

bool ParseBinary(std::string_view text, std::vector<std::uint8_t>* bytes)
{
    if (text.size() % 2 != 0)
        return false;
    bytes->clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes->push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

enum class TokenKind { End, Word, Quoted };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    std::size_t line = 0;
};

bool IsSymbol(const Token& token, const char* symbol)
{
    return token.kind == TokenKind::Word && token.text == symbol;
}

bool IsAnySymbol(const Token& token)
{
    return IsSymbol(token, "{") || IsSymbol(token, "}") || IsSymbol(token, "=");
}

// A name or data token: anything quoted, or a bare word that is not a brace or '='.
bool IsText(const Token& token)
{
    return token.kind == TokenKind::Quoted || (token.kind == TokenKind::Word && !IsAnySymbol(token));
}

bool IsMarkWord(const Token& token)
{
    return token.kind == TokenKind::Word &&
           (EqualsNoCase(token.text, "NoRemove") || EqualsNoCase(token.text, "ForceRemove") ||
            EqualsNoCase(token.text, "Delete"));
}

// Splits the text after replacements into tokens, with one token of look-ahead.
// Its functions throw std::bad_alloc only.
class Tokenizer {
public:
    explicit Tokenizer(std::string_view text) : m_text(text) {}

    ScriptStatus Next(Token* token)
    {
        if (m_hasPeeked) {
            m_hasPeeked = false;
            *token = std::move(m_peeked);
            return ScriptStatus::Ok;
        }
        return Read(token);
    }

    // The next token stays in place for Next; the pointer is good until then.
    ScriptStatus Peek(const Token** token)
    {
        if (!m_hasPeeked) {
            const ScriptStatus status = Read(&m_peeked);
            if (status != ScriptStatus::Ok)
                return status;
            m_hasPeeked = true;
        }
        *token = &m_peeked;
        return ScriptStatus::Ok;
    }

    std::size_t line() const { return m_line; }

private:
    ScriptStatus Read(Token* token)
    {
        while (m_pos < m_text.size() && IsSpace(m_text[m_pos])) {
            if (m_text[m_pos] == '\n')
                ++m_line;
            ++m_pos;
        }
        token->text.clear();
        token->line = m_line;
        if (m_pos == m_text.size()) {
            token->kind = TokenKind::End;
            return ScriptStatus::Ok;
        }
        if (m_text[m_pos] == '\'')
            return ReadQuoted(token);
        return ReadWord(token);
    }

    ScriptStatus ReadQuoted(Token* token)
    {
        token->kind = TokenKind::Quoted;
        ++m_pos;
        for (;;) {
            if (m_pos == m_text.size())
                return ScriptStatus::UnterminatedQuote;
            const char c = m_text[m_pos];
            if (c == '\'') {
                if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\'') {
                    m_pos += 2;
                } else {
                    ++m_pos;
                    return ScriptStatus::Ok;
                }
            } else {
                if (c == '\n')
                    ++m_line;
                ++m_pos;
            }
            if (token->text.size() == kMaxScriptTokenBytes)
                return ScriptStatus::TokenTooLong;
            token->text.push_back(c);
        }
    }

    ScriptStatus ReadWord(Token* token)
    {
        token->kind = TokenKind::Word;
        while (m_pos < m_text.size() && !IsSpace(m_text[m_pos])) {
            if (token->text.size() == kMaxScriptTokenBytes)
                return ScriptStatus::TokenTooLong;
            token->text.push_back(m_text[m_pos]);
            ++m_pos;
        }
        // Words like "name=", "s'text'" or "Key{" are almost surely a missing blank; reading
        // them as names would write keys nobody asked for.
        const std::string& word = token->text;
        if (word.size() > 1 &&
            (word.find('\'') != std::string::npos || word.find('=') != std::string::npos ||
             word.back() == '{' || word.front() == '}'))
            return ScriptStatus::BadBareWord;
        return ScriptStatus::Ok;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_line = 1;
    Token m_peeked;
    bool m_hasPeeked = false;
};

// Recursive descent over the tokens; the nesting cap bounds the recursion.
// Its functions throw std::bad_alloc only.
class Parser {
public:
    explicit Parser(std::string_view text) : m_tokens(text) {}

    ScriptError ParseScript(RegistryScript* tree)
    {
        const ScriptStatus status = ParseRootBlocks(tree);
        if (status == ScriptStatus::Ok)
            return {};
        return {status, m_errorLine != 0 ? m_errorLine : m_tokens.line()};
    }

private:
    ScriptStatus Fail(ScriptStatus status, const Token& at)
    {
        m_errorLine = at.line;
        return status;
    }

    ScriptStatus ParseRootBlocks(RegistryScript* tree)
    {
        for (;;) {
            Token token;
            ScriptStatus status = m_tokens.Next(&token);
            if (status != ScriptStatus::Ok)
                return status;
            if (token.kind == TokenKind::End)
                return ScriptStatus::Ok;
            ScriptRootBlock block;
            if (token.kind != TokenKind::Word || !ParseRoot(token.text, &block.root))
                return Fail(ScriptStatus::ExpectedRootKey, token);
            if ((status = m_tokens.Next(&token)) != ScriptStatus::Ok)
                return status;
            if (!IsSymbol(token, "{"))
                return Fail(token.kind == TokenKind::End ? ScriptStatus::UnexpectedEnd : ScriptStatus::ExpectedOpenBrace,
                            token);
            if ((status = ParseEntries(1, &block.entries)) != ScriptStatus::Ok)
                return status;
            tree->push_back(std::move(block));
        }
    }

    // The entries of a block whose "{" has been read, up to and with its "}".
    ScriptStatus ParseEntries(int depth, std::vector<ScriptNode>* entries)
    {
        for (;;) {
            Token token;
            const ScriptStatus status = m_tokens.Next(&token);
            if (status != ScriptStatus::Ok)
                return status;
            if (token.kind == TokenKind::End)
                return Fail(ScriptStatus::UnexpectedEnd, token);
            if (IsSymbol(token, "}"))
                return ScriptStatus::Ok;
            ScriptNode node;
            const ScriptStatus entryStatus = ParseEntry(depth, std::move(token), &node);
            if (entryStatus != ScriptStatus::Ok)
                return entryStatus;
            entries->push_back(std::move(node));
        }
    }

    ScriptStatus ParseEntry(int depth, Token token, ScriptNode* node)
    {
        ScriptStatus status;
        if (IsMarkWord(token)) {
            node->mark = EqualsNoCase(token.text, "NoRemove")      ? ScriptMark::NoRemove
                         : EqualsNoCase(token.text, "ForceRemove") ? ScriptMark::ForceRemove
                                                                   : ScriptMark::Delete;
            if ((status = m_tokens.Next(&token)) != ScriptStatus::Ok)
                return status;
            if (IsMarkWord(token))
                return Fail(ScriptStatus::MisplacedMark, token);
        }
        if (token.kind == TokenKind::Word && EqualsNoCase(token.text, "val"))
            return ParseNamedValue(token, node);

        if (!IsText(token))
            return Fail(token.kind == TokenKind::End ? ScriptStatus::UnexpectedEnd : ScriptStatus::ExpectedName, token);
        if (token.text.empty() || token.text.find('\\') != std::string::npos)
            return Fail(ScriptStatus::InvalidKeyName, token);
        node->name = std::move(token.text);

        const Token* next = nullptr;
        if ((status = m_tokens.Peek(&next)) != ScriptStatus::Ok)
            return status;
        if (node->mark == ScriptMark::Delete) {
            if (IsSymbol(*next, "=") || IsSymbol(*next, "{"))
                return Fail(ScriptStatus::UnexpectedToken, *next);
            return ScriptStatus::Ok;
        }
        if (IsSymbol(*next, "=")) {
            if ((status = m_tokens.Next(&token)) != ScriptStatus::Ok)
                return status;
            if ((status = ParseData(&node->data)) != ScriptStatus::Ok)
                return status;
            node->hasData = true;
            if ((status = m_tokens.Peek(&next)) != ScriptStatus::Ok)
                return status;
        }
        if (IsSymbol(*next, "{")) {
            if ((status = m_tokens.Next(&token)) != ScriptStatus::Ok)
                return status;
            if (depth >= kMaxScriptNesting)
                return Fail(ScriptStatus::NestingTooDeep, token);
            return ParseEntries(depth + 1, &node->children);
        }
        return ScriptStatus::Ok;
    }

    // "val name = type data", with "val" (and a mark) already read.
    ScriptStatus ParseNamedValue(const Token& valWord, ScriptNode* node)
    {
        if (node->mark == ScriptMark::ForceRemove || node->mark == ScriptMark::Delete)
            return Fail(ScriptStatus::MisplacedMark, valWord);
        node->isValue = true;
        Token token;
        ScriptStatus status = m_tokens.Next(&token);
        if (status != ScriptStatus::Ok)
            return status;
        if (!IsText(token))
            return Fail(token.kind == TokenKind::End ? ScriptStatus::UnexpectedEnd : ScriptStatus::ExpectedName, token);
        node->name = std::move(token.text);
        if ((status = m_tokens.Next(&token)) != ScriptStatus::Ok)
            return status;
        if (!IsSymbol(token, "="))
            return Fail(token.kind == TokenKind::End ? ScriptStatus::UnexpectedEnd : ScriptStatus::ExpectedEquals, token);
        node->hasData = true;
        return ParseData(&node->data);
    }

    // "type data", after the "=".
    ScriptStatus ParseData(ScriptValueData* data)
    {
        Token type;
        ScriptStatus status = m_tokens.Next(&type);
        if (status != ScriptStatus::Ok)
            return status;
        if (type.kind == TokenKind::End)
            return Fail(ScriptStatus::UnexpectedEnd, type);
        const char letter = type.kind == TokenKind::Word && type.text.size() == 1 ? LowerAscii(type.text[0]) : '\0';
        if (letter == 's')
            data->type = ScriptValueType::String;
        else if (letter == 'd')
            data->type = ScriptValueType::Dword;
        else if (letter == 'b')
            data->type = ScriptValueType::Binary;
        else
            return Fail(ScriptStatus::UnknownValueType, type);

        Token value;
        if ((status = m_tokens.Next(&value)) != ScriptStatus::Ok)
            return status;
        if (!IsText(value))
            return Fail(value.kind == TokenKind::End ? ScriptStatus::UnexpectedEnd : ScriptStatus::ExpectedData, value);
        switch (data->type) {
        case ScriptValueType::String:
            data->text = std::move(value.text);
            return ScriptStatus::Ok;
        case ScriptValueType::Dword:
            return ParseNumber(value.text, &data->number) ? ScriptStatus::Ok : Fail(ScriptStatus::InvalidNumber, value);
        case ScriptValueType::Binary:
            return ParseBinary(value.text, &data->bytes) ? ScriptStatus::Ok : Fail(ScriptStatus::InvalidBinary, value);
        }
        return Fail(ScriptStatus::UnknownValueType, type);
    }

    Tokenizer m_tokens;
    std::size_t m_errorLine = 0;
};

} // namespace

void ReplacementMap::Add(std::string_view name, std::string_view text)
{
    for (auto& entry : m_entries) {
        if (EqualsNoCase(entry.first, name)) {
            entry.second.assign(text);
            return;
        }
    }
    m_entries.emplace_back(std::string(name), std::string(text));
}

const std::string* ReplacementMap::Find(std::string_view name) const noexcept
{
    for (const auto& entry : m_entries) {
        if (EqualsNoCase(entry.first, name))
            return &entry.second;
    }
    return nullptr;
}

ScriptError ExpandReplacements(std::string_view script, const ReplacementMap& replacements, std::string* expanded)
{
    expanded->clear();
    expanded->reserve(script.size());
    std::size_t pos = 0;
    while (pos < script.size()) {
        const std::size_t percent = script.find('%', pos);
        if (percent == std::string_view::npos) {
            expanded->append(script.substr(pos));
            break;
        }
        expanded->append(script.substr(pos, percent - pos));
        const std::size_t close = script.find('%', percent + 1);
        if (close == std::string_view::npos)
            return {ScriptStatus::UnterminatedReplacement, LineAt(script, percent)};
        const std::string_view name = script.substr(percent + 1, close - percent - 1);
        if (name.empty()) {
            expanded->push_back('%');
        } else {
            const std::string* text = replacements.Find(name);
            if (text == nullptr)
                return {ScriptStatus::UnknownReplacement, LineAt(script, percent)};
            expanded->append(*text);
        }
        pos = close + 1;
    }
    return {};
}

ScriptError ParseRegistryScript(std::string_view script, const ReplacementMap& replacements, RegistryScript* tree)
{
    tree->clear();
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (script.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        script.remove_prefix(kByteOrderMark.size());

    std::string text;
    const ScriptError expandError = ExpandReplacements(script, replacements, &text);
    if (expandError.status != ScriptStatus::Ok)
        return expandError;
    const std::size_t invalid = FindInvalidText(text);
    if (invalid != std::string_view::npos)
        return {ScriptStatus::InvalidText, LineAt(text, invalid)};

    Parser parser(text);
    const ScriptError error = parser.ParseScript(tree);
    if (error.status != ScriptStatus::Ok)
        tree->clear();
    return error;
}

std::string DoubleSingleQuotes(std::string_view text)
{
    std::string doubled;
    doubled.reserve(text.size());
    for (char c : text) {
        doubled.push_back(c);
        if (c == '\'')
            doubled.push_back('\'');
    }
    return doubled;
}

const char* ScriptStatusText(ScriptStatus status) noexcept
{
    switch (status) {
    case ScriptStatus::Ok: return "ok";
    case ScriptStatus::UnterminatedReplacement: return "'%' without its closing '%'";
    case ScriptStatus::UnknownReplacement: return "unknown %NAME% replacement";
    case ScriptStatus::InvalidText: return "NUL byte or invalid UTF-8";
    case ScriptStatus::UnterminatedQuote: return "unterminated quoted string";
    case ScriptStatus::TokenTooLong: return "token longer than 4096 bytes";
    case ScriptStatus::BadBareWord: return "quote, '=' or brace glued to an unquoted word";
    case ScriptStatus::ExpectedRootKey: return "expected a root key name";
    case ScriptStatus::ExpectedOpenBrace: return "expected '{'";
    case ScriptStatus::ExpectedName: return "expected a name";
    case ScriptStatus::ExpectedEquals: return "expected '='";
    case ScriptStatus::ExpectedData: return "expected value data";
    case ScriptStatus::UnexpectedEnd: return "unexpected end of script";
    case ScriptStatus::InvalidKeyName: return "empty key name or key name with '\\'";
    case ScriptStatus::MisplacedMark: return "misplaced NoRemove, ForceRemove or Delete";
    case ScriptStatus::UnexpectedToken: return "unexpected '=' or '{' after Delete";
    case ScriptStatus::UnknownValueType: return "unknown value type (s, d or b)";
    case ScriptStatus::InvalidNumber: return "invalid 32-bit number";
    case ScriptStatus::InvalidBinary: return "invalid hexadecimal binary data";
    case ScriptStatus::NestingTooDeep: return "blocks nested too deeply";
    }
    return "unknown status";
}
