// The registrar's script language (the text of the DLL's REGISTRY resources) turned into a
// tree of root blocks, keys and values, which the registrar (registrar.h) applies to the
// registry. Plain C++17 without Windows headers, so that it also builds natively for fuzzing.
//
// A script is a list of root blocks:
//
//   HKCR                                   root: HKCR HKCU HKLM HKU HKPD HKDD HKCC or the long
//   {                                      names (HKEY_CLASSES_ROOT, ...), any case
//       NoRemove CLSID                     marks: NoRemove, ForceRemove, Delete (keys),
//       {                                         NoRemove (values)
//           ForceRemove {GUID} = s 'Text'  key with its default value
//           {
//               'Key name' = d '00000003'  quoted names; '' inside stands for one quote
//               val Name = s '%MODULE%'    named value; %NAME% is replaced before parsing
//           }
//       }
//   }
//
// Tokens are separated by white space; "{", "}" and "=" must stand apart. Value types:
// s (REG_SZ), d (REG_DWORD, decimal or 0x-hexadecimal) and b (REG_BINARY, hexadecimal digit
// pairs). A quoted token is always a name or data, never a keyword.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Deepest nesting of { } blocks, the root block included.
constexpr int kMaxScriptNesting = 64;
// Longest token, after replacements (the registrar's documented limit of 4K).
constexpr std::size_t kMaxScriptTokenBytes = 4096;

enum class ScriptRoot { ClassesRoot, CurrentUser, LocalMachine, Users, PerformanceData, DynData, CurrentConfig };

enum class ScriptMark {
    None,
    NoRemove,    // key or value: kept at unregistration
    ForceRemove, // key: deleted with everything below it before it is written
    Delete,      // key: deleted with everything below it at registration, nothing else
};

enum class ScriptValueType { String, Dword, Binary };

struct ScriptValueData {
    ScriptValueType type = ScriptValueType::String;
    std::string text;                // String: UTF-8
    std::uint32_t number = 0;        // Dword
    std::vector<std::uint8_t> bytes; // Binary
};

struct ScriptNode {
    bool isValue = false;        // a "val" line; otherwise a key
    ScriptMark mark = ScriptMark::None;
    std::string name;            // UTF-8; never empty and without '\' for a key
    bool hasData = false;        // always for a value; for a key, its default value was given
    ScriptValueData data;
    std::vector<ScriptNode> children; // a key's block, in script order
};

struct ScriptRootBlock {
    ScriptRoot root = ScriptRoot::ClassesRoot;
    std::vector<ScriptNode> entries;
};

using RegistryScript = std::vector<ScriptRootBlock>;

enum class ScriptStatus {
    Ok,
    UnterminatedReplacement, // a '%' without its closing '%'
    UnknownReplacement,      // %NAME% that the caller did not supply
    InvalidText,             // a NUL byte or text that is not UTF-8
    UnterminatedQuote,
    TokenTooLong,
    BadBareWord,             // a quote or '=' inside an unquoted word, or a brace glued to one
    ExpectedRootKey,
    ExpectedOpenBrace,
    ExpectedName,
    ExpectedEquals,
    ExpectedData,            // a brace or '=' where value data belongs
    UnexpectedEnd,           // the text ends inside a block or a value
    InvalidKeyName,          // empty or containing '\'
    MisplacedMark,           // two marks, or a mark that does not fit the entry
    UnexpectedToken,         // "=" or "{" after Delete
    UnknownValueType,
    InvalidNumber,
    InvalidBinary,
    NestingTooDeep,
};

struct ScriptError {
    ScriptStatus status = ScriptStatus::Ok;
    // 1-based line of the fault (for a replacement fault in the script as given, otherwise in
    // the text after replacements); 0 when Ok.
    std::size_t line = 0;
};

// Replacement texts by name; names match regardless of ASCII case.
class ReplacementMap {
public:
    // Adds a replacement or replaces the text of one with the same name. Throws std::bad_alloc.
    void Add(std::string_view name, std::string_view text);
    // The text for name, or null. Never throws.
    const std::string* Find(std::string_view name) const noexcept;

private:
    std::vector<std::pair<std::string, std::string>> m_entries;
};

// Puts each replacement's text in place of its %NAME% (one pass: replaced text is not looked
// at again); "%%" gives one '%'. Throws std::bad_alloc only.
ScriptError ExpandReplacements(std::string_view script, const ReplacementMap& replacements, std::string* expanded);

// Expands the replacements and parses the whole script into tree (cleared first). A leading
// UTF-8 byte-order mark is skipped. Throws std::bad_alloc only.
ScriptError ParseRegistryScript(std::string_view script, const ReplacementMap& replacements, RegistryScript* tree);

// The text with every single quote doubled, for a replacement that is used inside quotes.
// Throws std::bad_alloc.
std::string DoubleSingleQuotes(std::string_view text);

// A short English name of the status, for log lines and test messages. Never throws.
const char* ScriptStatusText(ScriptStatus status) noexcept;
