#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "com/registry_script.h"

namespace {

const char* RootName(ScriptRoot root)
{
    switch (root) {
    case ScriptRoot::ClassesRoot: return "HKCR";
    case ScriptRoot::CurrentUser: return "HKCU";
    case ScriptRoot::LocalMachine: return "HKLM";
    case ScriptRoot::Users: return "HKU";
    case ScriptRoot::PerformanceData: return "HKPD";
    case ScriptRoot::DynData: return "HKDD";
    case ScriptRoot::CurrentConfig: return "HKCC";
    }
    return "?";
}

// One line per tree, e.g. HKCU{NoRemove 'A'{'B'=s:'x' val 'N'=d:3}}.
void Dump(const std::vector<ScriptNode>& nodes, std::string* out)
{
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const ScriptNode& node = nodes[i];
        if (i > 0)
            *out += ' ';
        static const char* const kMarks[] = {"", "NoRemove ", "ForceRemove ", "Delete "};
        *out += kMarks[static_cast<int>(node.mark)];
        if (node.isValue)
            *out += "val ";
        *out += "'" + node.name + "'";
        if (node.hasData) {
            switch (node.data.type) {
            case ScriptValueType::String: *out += "=s:'" + node.data.text + "'"; break;
            case ScriptValueType::Dword: *out += "=d:" + std::to_string(node.data.number); break;
            case ScriptValueType::Binary:
                *out += "=b:";
                for (std::uint8_t byte : node.data.bytes) {
                    char hex[3];
                    std::snprintf(hex, sizeof(hex), "%02x", byte);
                    *out += hex;
                }
                break;
            }
        }
        if (!node.children.empty()) {
            *out += '{';
            Dump(node.children, out);
            *out += '}';
        }
    }
}

std::string Dump(const RegistryScript& tree)
{
    std::string out;
    for (const ScriptRootBlock& block : tree) {
        if (!out.empty())
            out += ' ';
        out += RootName(block.root);
        out += '{';
        Dump(block.entries, &out);
        out += '}';
    }
    return out;
}

ReplacementMap TestReplacements()
{
    ReplacementMap map;
    map.Add("Module", DoubleSingleQuotes("C:\\it's\\Vantrel.dll"));
    map.Add("APPID", "{4E2B7D91-A0C6-4F35-9B8E-61D3C7A2045B}");
    map.Add("OLEMISC", "131473");
    return map;
}

// Blocks nested n deep, the root block counted.
std::string Nested(int depth)
{
    std::string script = "HKCU {";
    for (int i = 1; i < depth; ++i)
        script += " K {";
    for (int i = 0; i < depth; ++i)
        script += " }";
    return script;
}

// A class script in the form the DLL carries: tabs, CR LF, quoted and bare names.
const char kClassScript[] =
    "HKCR\r\n"
    "{\r\n"
    "\tVantrel.AddinPropertyPage.1 = s 'AddinPropertyPage Class'\r\n"
    "\t{\r\n"
    "\t\tCLSID = s '{C81F4B27-3E95-4A60-8D2C-7B19E0F5A463}'\r\n"
    "\t}\r\n"
    "\tNoRemove CLSID\r\n"
    "\t{\r\n"
    "\t\tForceRemove {C81F4B27-3E95-4A60-8D2C-7B19E0F5A463} = s 'AddinPropertyPage Class'\r\n"
    "\t\t{\r\n"
    "\t\t\tForceRemove 'Programmable'\r\n"
    "\t\t\tInprocServer32 = s '%MODULE%'\r\n"
    "\t\t\t{\r\n"
    "\t\t\t\tval ThreadingModel = s 'Apartment'\r\n"
    "\t\t\t}\r\n"
    "\t\t\tval AppID = s '%APPID%'\r\n"
    "\t\t\tForceRemove 'ToolboxBitmap32' = s '%MODULE%, 102'\r\n"
    "\t\t\t'MiscStatus' = s '0'\r\n"
    "\t\t\t{\r\n"
    "\t\t\t\t'1' = s '%OLEMISC%'\r\n"
    "\t\t\t}\r\n"
    "\t\t}\r\n"
    "\t}\r\n"
    "}\r\n"
    "HKEY_LOCAL_MACHINE\r\n"
    "{\r\n"
    "\tNoRemove Software\r\n"
    "\t{\r\n"
    "\t\tNoRemove 'Vantrel.Connect'\r\n"
    "\t\t{\r\n"
    "\t\t\tval LoadBehavior = d '00000003'\r\n"
    "\t\t}\r\n"
    "\t}\r\n"
    "}\r\n";

TEST(RegistryScriptParse, ClassScriptGivesTheFullTree)
{
    RegistryScript tree;
    const ScriptError error = ParseRegistryScript(kClassScript, TestReplacements(), &tree);
    ASSERT_EQ(error.status, ScriptStatus::Ok) << ScriptStatusText(error.status) << " line " << error.line;
    EXPECT_EQ(Dump(tree),
              "HKCR{'Vantrel.AddinPropertyPage.1'=s:'AddinPropertyPage Class'"
              "{'CLSID'=s:'{C81F4B27-3E95-4A60-8D2C-7B19E0F5A463}'} "
              "NoRemove 'CLSID'{ForceRemove '{C81F4B27-3E95-4A60-8D2C-7B19E0F5A463}'=s:'AddinPropertyPage Class'"
              "{ForceRemove 'Programmable' 'InprocServer32'=s:'C:\\it's\\Vantrel.dll'"
              "{val 'ThreadingModel'=s:'Apartment'} "
              "val 'AppID'=s:'{4E2B7D91-A0C6-4F35-9B8E-61D3C7A2045B}' "
              "ForceRemove 'ToolboxBitmap32'=s:'C:\\it's\\Vantrel.dll, 102' "
              "'MiscStatus'=s:'0'{'1'=s:'131473'}}}} "
              "HKLM{NoRemove 'Software'{NoRemove 'Vantrel.Connect'{val 'LoadBehavior'=d:3}}}");
}

TEST(RegistryScriptParse, EveryCutShortScriptIsAnError)
{
    const std::string script = kClassScript;
    const std::size_t end = script.find_last_not_of("\r\n") + 1;
    // Cut right after the first root block, what is left is a whole script.
    const std::size_t firstBlockEnd = script.find("}\r\nHKEY_LOCAL_MACHINE") + 1;
    const ReplacementMap replacements = TestReplacements();
    for (std::size_t length = 1; length < end; ++length) {
        if (length >= firstBlockEnd && length <= firstBlockEnd + 2)
            continue;
        RegistryScript tree;
        const ScriptError error = ParseRegistryScript(script.substr(0, length), replacements, &tree);
        EXPECT_NE(error.status, ScriptStatus::Ok) << "cut at " << length;
        EXPECT_TRUE(tree.empty()) << "cut at " << length;
    }
}

struct GoodCase {
    const char* script;
    const char* tree;
};

TEST(RegistryScriptParse, GoodScripts)
{
    const std::string longest(kMaxScriptTokenBytes, 'x');
    const std::string longestQuoted = "HKCU { '" + longest + "' }";
    const std::string longestTree = "HKCU{'" + longest + "'}";
    const GoodCase cases[] = {
        {"", ""},
        {" \r\n\t ", ""},
        {"HKCU { }", "HKCU{}"},
        {"\xEF\xBB\xBFHKCU\r\n{\r\n\tKey\r\n}\r\n", "HKCU{'Key'}"},
        // Every root, short and long, any case.
        {"HKEY_CLASSES_ROOT { } hkcr { } HKEY_CURRENT_USER { } HkCu { } HKEY_LOCAL_MACHINE { } HKLM { }",
         "HKCR{} HKCR{} HKCU{} HKCU{} HKLM{} HKLM{}"},
        {"HKEY_USERS { } HKU { } HKEY_PERFORMANCE_DATA { } HKPD { } HKEY_DYN_DATA { } HKDD { } "
         "HKEY_CURRENT_CONFIG { } HKCC { }",
         "HKU{} HKU{} HKPD{} HKPD{} HKDD{} HKDD{} HKCC{} HKCC{}"},
        // Doubled quotes, blanks and line ends inside quotes, empty text.
        {"HKCU { 'it''s a key' = s 'a ''b'' c' }", "HKCU{'it's a key'=s:'a 'b' c'}"},
        {"HKCU { K = s '' '''' = s 'x' }", "HKCU{'K'=s:'' '''=s:'x'}"},
        {"HKCU { K = s 'two\r\nlines' }", "HKCU{'K'=s:'two\r\nlines'}"},
        {"HKCU { 'Schl\xC3\xBCssel' = s '\xE2\x82\xAC' }", "HKCU{'Schl\xC3\xBCssel'=s:'\xE2\x82\xAC'}"},
        {"HKCU { {GUID} = s '{x}' }", "HKCU{'{GUID}'=s:'{x}'}"},
        // Marks and keywords regardless of case; a quoted keyword is a name.
        {"HKCU { noremove A { VAL x = S 'y' } FORCEREMOVE B Delete C NoRemove val V = s 'v' }",
         "HKCU{NoRemove 'A'{val 'x'=s:'y'} ForceRemove 'B' Delete 'C' NoRemove val 'V'=s:'v'}"},
        {"HKCU { 'NoRemove' 'val' 'Delete' = s 'd' }", "HKCU{'NoRemove' 'val' 'Delete'=s:'d'}"},
        {"HKCU { val 'Delete' = s 'x' val '' = s 'default' }", "HKCU{val 'Delete'=s:'x' val ''=s:'default'}"},
        {"HKCU { K = s 'v' { S } ForceRemove F = s 'f' { } }", "HKCU{'K'=s:'v'{'S'} ForceRemove 'F'=s:'f'}"},
        // Numbers and binary data.
        {"HKCU { val A = d '00000003' val B = d '4294967295' val C = d '0x1F' val D = D 5 val E = d '0' }",
         "HKCU{val 'A'=d:3 val 'B'=d:4294967295 val 'C'=d:31 val 'D'=d:5 val 'E'=d:0}"},
        {"HKCU { val A = b 'DEad00' val B = b '' }", "HKCU{val 'A'=b:dead00 val 'B'=b:}"},
        // Replacements: any case, inside and outside quotes, %% for one percent sign.
        {"HKCU { K = s '%module%' %AppId% = s '100%%' }",
         "HKCU{'K'=s:'C:\\it's\\Vantrel.dll' '{4E2B7D91-A0C6-4F35-9B8E-61D3C7A2045B}'=s:'100%'}"},
        {longestQuoted.c_str(), longestTree.c_str()},
    };
    const ReplacementMap replacements = TestReplacements();
    for (const GoodCase& c : cases) {
        RegistryScript tree;
        const ScriptError error = ParseRegistryScript(c.script, replacements, &tree);
        EXPECT_EQ(error.status, ScriptStatus::Ok) << c.script << ": " << ScriptStatusText(error.status);
        EXPECT_EQ(Dump(tree), c.tree) << c.script;
    }

    RegistryScript tree;
    EXPECT_EQ(ParseRegistryScript(Nested(kMaxScriptNesting), replacements, &tree).status, ScriptStatus::Ok);
}

struct BadCase {
    std::string script;
    ScriptStatus status;
};

TEST(RegistryScriptParse, MalformedScripts)
{
    const std::string tooLong(kMaxScriptTokenBytes + 1, 'x');
    const BadCase cases[] = {
        {"HKCU { K = s '%NOPE%' }", ScriptStatus::UnknownReplacement},
        {"HKCU { K = s '100%' }", ScriptStatus::UnterminatedReplacement},
        {"HKCU { K = s 'abc }", ScriptStatus::UnterminatedQuote},
        {"HKCU { 'it''s }", ScriptStatus::UnterminatedQuote},
        {std::string("HKCU { K = s 'a\0b' }", 20), ScriptStatus::InvalidText},
        {"HKCU { K = s '\xC3\x28' }", ScriptStatus::InvalidText},
        {"HKCU { K = s '\xC0\xAF' }", ScriptStatus::InvalidText},     // overlong
        {"HKCU { K = s '\xED\xA0\x80' }", ScriptStatus::InvalidText}, // surrogate
        {"HKCU { K = s '\xF4\x90\x80\x80' }", ScriptStatus::InvalidText},
        {"HKCU { K = s '\xE2\x82", ScriptStatus::InvalidText},
        {"HKCU { '" + tooLong + "' }", ScriptStatus::TokenTooLong},
        {"HKCU { " + tooLong + " }", ScriptStatus::TokenTooLong},
        {"HKCU { K=s 'x' }", ScriptStatus::BadBareWord},
        {"HKCU { K = s'x' }", ScriptStatus::BadBareWord},
        {"HKCU { K{ } }", ScriptStatus::BadBareWord},
        {"HKCU { K { }}", ScriptStatus::BadBareWord},
        {"HKXX { }", ScriptStatus::ExpectedRootKey},
        {"'HKCU' { }", ScriptStatus::ExpectedRootKey},
        {"}", ScriptStatus::ExpectedRootKey},
        {"HKCU { } }", ScriptStatus::ExpectedRootKey},
        {"HKCU K { }", ScriptStatus::ExpectedOpenBrace},
        {"HKCU = s 'x'", ScriptStatus::ExpectedOpenBrace},
        {"HKCU", ScriptStatus::UnexpectedEnd},
        {"HKCU {", ScriptStatus::UnexpectedEnd},
        {"HKCU { K { }", ScriptStatus::UnexpectedEnd},
        {"HKCU { K =", ScriptStatus::UnexpectedEnd},
        {"HKCU { K = s", ScriptStatus::UnexpectedEnd},
        {"HKCU { val", ScriptStatus::UnexpectedEnd},
        {"HKCU { NoRemove", ScriptStatus::UnexpectedEnd},
        {"HKCU { = s 'x' }", ScriptStatus::ExpectedName},
        {"HKCU { { } }", ScriptStatus::ExpectedName},
        {"HKCU { val = s 'x' }", ScriptStatus::ExpectedName},
        {"HKCU { NoRemove } }", ScriptStatus::ExpectedName},
        {"HKCU { val V s 'x' }", ScriptStatus::ExpectedEquals},
        {"HKCU { val V { } }", ScriptStatus::ExpectedEquals},
        {"HKCU { K = s } }", ScriptStatus::ExpectedData},
        {"HKCU { K = s = }", ScriptStatus::ExpectedData},
        {"HKCU { 'a\\b' }", ScriptStatus::InvalidKeyName},
        {"HKCU { '' }", ScriptStatus::InvalidKeyName},
        {"HKCU { ForceRemove val V = s 'x' }", ScriptStatus::MisplacedMark},
        {"HKCU { Delete val V = s 'x' }", ScriptStatus::MisplacedMark},
        {"HKCU { NoRemove ForceRemove K }", ScriptStatus::MisplacedMark},
        {"HKCU { Delete K = s 'x' }", ScriptStatus::UnexpectedToken},
        {"HKCU { Delete K { } }", ScriptStatus::UnexpectedToken},
        {"HKCU { K = x 'y' }", ScriptStatus::UnknownValueType},
        {"HKCU { K = sz 'y' }", ScriptStatus::UnknownValueType},
        {"HKCU { K = 's' 'y' }", ScriptStatus::UnknownValueType},
        {"HKCU { K = m 'y' }", ScriptStatus::UnknownValueType},
        {"HKCU { K = d 'abc' }", ScriptStatus::InvalidNumber},
        {"HKCU { K = d '' }", ScriptStatus::InvalidNumber},
        {"HKCU { K = d '-1' }", ScriptStatus::InvalidNumber},
        {"HKCU { K = d '4294967296' }", ScriptStatus::InvalidNumber},
        {"HKCU { K = d '99999999999999999999999' }", ScriptStatus::InvalidNumber},
        {"HKCU { K = d '0x' }", ScriptStatus::InvalidNumber},
        {"HKCU { K = d '0x100000000' }", ScriptStatus::InvalidNumber},
        {"HKCU { K = d '1.5' }", ScriptStatus::InvalidNumber},
        {"HKCU { K = b 'abc' }", ScriptStatus::InvalidBinary},
        {"HKCU { K = b 'zz' }", ScriptStatus::InvalidBinary},
        {Nested(kMaxScriptNesting + 1), ScriptStatus::NestingTooDeep},
        {Nested(100000), ScriptStatus::NestingTooDeep},
    };
    const ReplacementMap replacements = TestReplacements();
    for (const BadCase& c : cases) {
        RegistryScript tree(1); // left over from an earlier use: must be cleared
        const ScriptError error = ParseRegistryScript(c.script, replacements, &tree);
        EXPECT_EQ(error.status, c.status) << c.script.substr(0, 80) << ": " << ScriptStatusText(error.status);
        EXPECT_GE(error.line, 1u) << c.script.substr(0, 80);
        EXPECT_TRUE(tree.empty()) << c.script.substr(0, 80);
    }
}

TEST(RegistryScriptParse, ErrorNamesTheLine)
{
    RegistryScript tree;
    const ReplacementMap replacements = TestReplacements();
    EXPECT_EQ(ParseRegistryScript("HKCU\r\n{\r\n\tK = q 'x'\r\n}\r\n", replacements, &tree).line, 3u);
    EXPECT_EQ(ParseRegistryScript("HKCU\r\n{\r\n\tK = s 'a\r\nb'\r\n\tL = d 'x'\r\n}", replacements, &tree).line, 5u);
    EXPECT_EQ(ParseRegistryScript("HKCU\r\n{\r\n\r\n\tK = s '%NOPE%'\r\n}", replacements, &tree).line, 4u);
    EXPECT_EQ(ParseRegistryScript("HKCU\r\n{\r\n\tK\r\n", replacements, &tree).line, 4u);
}

TEST(RegistryScriptParse, ReplacementsAreExpandedOnceAndMatchedRegardlessOfCase)
{
    ReplacementMap map;
    map.Add("Module", "first");
    map.Add("MODULE", "%OTHER%"); // same name: replaces the text
    std::string expanded;
    EXPECT_EQ(ExpandReplacements("a %module% b %% c", map, &expanded).status, ScriptStatus::Ok);
    EXPECT_EQ(expanded, "a %OTHER% b % c"); // replaced text is not expanded again
    EXPECT_NE(map.Find("mOdUlE"), nullptr);
    EXPECT_EQ(map.Find("MODULE_RAW"), nullptr);

    EXPECT_EQ(DoubleSingleQuotes("C:\\it's\\''x"), "C:\\it''s\\''''x");
    EXPECT_EQ(DoubleSingleQuotes(""), "");
}

} // namespace
