// libFuzzer target for the registry-script parser, built natively by scripts/fuzz.sh.
// Any bytes must give either an error and an empty tree, or a tree that keeps the parser's
// promises and that, written back as a script, parses to the same tree.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "com/registry_script.h"

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "registry_script_fuzz: %s\n", what);
        std::abort();
    }
}

// The replacements the DLL supplies, and one whose text is made of script syntax.
const ReplacementMap& Replacements()
{
    static const ReplacementMap map = [] {
        ReplacementMap m;
        m.Add("Module", DoubleSingleQuotes("C:\\it's\\Vantrel.dll"));
        m.Add("Module_Raw", DoubleSingleQuotes("C:\\it's\\Vantrel.dll"));
        m.Add("APPID", "{4E2B7D91-A0C6-4F35-9B8E-61D3C7A2045B}");
        m.Add("OLEMISC", "131473");
        m.Add("SYNTAX", "} { = ' '' % NoRemove val");
        return m;
    }();
    return map;
}

// Quoted for the script: quotes doubled, and '%' doubled because replacements come first.
std::string Quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'' || c == '%')
            out += c;
    }
    return out + "'";
}

std::string Data(const ScriptValueData& data)
{
    switch (data.type) {
    case ScriptValueType::String: return "s " + Quoted(data.text);
    case ScriptValueType::Dword: return "d '" + std::to_string(data.number) + "'";
    case ScriptValueType::Binary: {
        static const char kHex[] = "0123456789ABCDEF";
        std::string hex;
        for (std::uint8_t byte : data.bytes) {
            hex += kHex[byte >> 4];
            hex += kHex[byte & 15];
        }
        return "b '" + hex + "'";
    }
    }
    Require(false, "unknown value type in tree");
    return std::string();
}

// Checks what the parser promises about a block and writes it back as script text.
void CheckAndWrite(const std::vector<ScriptNode>& nodes, int depth, std::string* out)
{
    Require(depth <= kMaxScriptNesting, "nesting beyond the cap");
    for (const ScriptNode& node : nodes) {
        Require(node.name.size() <= kMaxScriptTokenBytes, "name longer than a token may be");
        static const char* const kMarks[] = {"", "NoRemove ", "ForceRemove ", "Delete "};
        *out += kMarks[static_cast<int>(node.mark)];
        if (node.isValue) {
            Require(node.mark == ScriptMark::None || node.mark == ScriptMark::NoRemove, "value with a key mark");
            Require(node.hasData && node.children.empty(), "value without data or with a block");
            *out += "val " + Quoted(node.name) + " = " + Data(node.data) + "\r\n";
            continue;
        }
        Require(!node.name.empty() && node.name.find('\\') == std::string::npos, "bad key name");
        *out += Quoted(node.name);
        if (node.mark == ScriptMark::Delete) {
            Require(!node.hasData && node.children.empty(), "Delete with data or a block");
            *out += "\r\n";
            continue;
        }
        if (node.hasData)
            *out += " = " + Data(node.data);
        *out += "\r\n";
        if (!node.children.empty()) {
            *out += "{\r\n";
            CheckAndWrite(node.children, depth + 1, out);
            *out += "}\r\n";
        }
    }
}

std::string CheckAndWrite(const RegistryScript& tree)
{
    static const char* const kRoots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                         "HKEY_USERS", "HKEY_PERFORMANCE_DATA", "HKEY_DYN_DATA",
                                         "HKEY_CURRENT_CONFIG"};
    std::string out;
    for (const ScriptRootBlock& block : tree) {
        out += kRoots[static_cast<int>(block.root)];
        out += "\r\n{\r\n";
        CheckAndWrite(block.entries, 1, &out);
        out += "}\r\n";
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    RegistryScript tree;
    const ScriptError error = ParseRegistryScript(script, Replacements(), &tree);
    if (error.status != ScriptStatus::Ok) {
        Require(tree.empty(), "tree left filled after an error");
        Require(error.line >= 1, "error without a line");
        return 0;
    }
    Require(error.line == 0, "line set without an error");

    const std::string written = CheckAndWrite(tree);
    RegistryScript again;
    const ScriptError againError = ParseRegistryScript(written, ReplacementMap(), &again);
    Require(againError.status == ScriptStatus::Ok, "written tree does not parse");
    Require(CheckAndWrite(again) == written, "written tree parses to another tree");
    return 0;
}
