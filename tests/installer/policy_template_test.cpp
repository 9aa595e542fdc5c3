// The Group Policy template deploy/Vantrel.admx with its language files deploy/<culture>/Vantrel.adml
// (copied into build/deploy by the build): all are well-formed XML, every policy is available for
// computers and users and enforces one of the add-in's settings (the names the settings code reads)
// as a REG_DWORD under SOFTWARE\Policies\Vantrel, the key the add-in reads them from, every text
// and presentation that the template names exists in the English file, and every language file
// has every text and presentation that the English one has.
#include <gtest/gtest.h>

#include <windows.h>

#include <msxml2.h>
#include <wrl/client.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "com/raii.h"
#include "win32/text_convert.h"
#include "installer/package_support.h"
#include "settings/settings_store.h"
#include "support/test_support.h"

namespace {

using Microsoft::WRL::ComPtr;

// MSXML 3.0's DOM document, which Windows and Wine both provide.
const CLSID kDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};

// The longest wait for Outlook's writes: read from the policy keys by a rule of its own, outside
// the settings that the page shows and the seeding copies.
const char* const kWaitForWrites = SettingName(Setting::WaitForWrites);

// The names the add-in reads from its policy keys: every setting.
std::set<std::string> PolicySettings()
{
    std::set<std::string> names;
    for (const SettingRule& rule : kSettingRules)
        names.insert(rule.name);
    return names;
}
const std::set<std::string> kSettings = PolicySettings();

// The languages of the template's texts, each in the folder of its culture name, as the central
// store has them. English is the one the template's names are checked against.
const char* const kCultures[] = {"en-US", "de-DE", "fr-FR", "es-ES", "it-IT", "pt-BR", "ja-JP", "zh-CN"};

std::string AdmlPath(const std::string& culture)
{
    return BuildFilePath("deploy\\" + culture + "\\Vantrel.adml");
}

std::string Narrow(BSTR text)
{
    return text ? ToNarrow(std::wstring_view(text, SysStringLen(text)), CP_UTF8) : std::string();
}

class XmlFile {
public:
    // Loads and parses the file; parseError() says why when loaded() is false.
    explicit XmlFile(const std::string& path)
    {
        if (FAILED(CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                    reinterpret_cast<void**>(m_document.GetAddressOf())))) {
            m_error = "no MSXML 3.0";
            return;
        }
        (void)m_document->put_async(VARIANT_FALSE);
        (void)m_document->put_resolveExternals(VARIANT_FALSE);
        UniqueVariant source;
        source.get()->vt = VT_BSTR;
        source.get()->bstrVal = SysAllocString(ToWide(path, CP_ACP).c_str());
        VARIANT_BOOL ok = VARIANT_FALSE;
        if (SUCCEEDED(m_document->load(*source.get(), &ok)) && ok == VARIANT_TRUE) {
            m_loaded = true;
            return;
        }
        ComPtr<IXMLDOMParseError> error;
        UniqueBstr reason;
        long line = 0;
        if (SUCCEEDED(m_document->get_parseError(&error)) && error) {
            (void)error->get_reason(reason.put());
            (void)error->get_line(&line);
        }
        m_error = path + ":" + std::to_string(line) + ": " + Narrow(reason.get());
    }

    bool loaded() const { return m_loaded; }
    const std::string& parseError() const { return m_error; }

    // Every element of that name, in document order.
    std::vector<ComPtr<IXMLDOMElement>> Elements(const char* name) const { return ElementsBelow(nullptr, name); }

    std::vector<ComPtr<IXMLDOMElement>> ElementsBelow(IXMLDOMElement* parent, const char* name) const
    {
        std::vector<ComPtr<IXMLDOMElement>> elements;
        ComPtr<IXMLDOMNodeList> list;
        UniqueBstr tag(SysAllocString(ToWide(name, CP_UTF8).c_str()));
        const HRESULT hr = parent ? parent->getElementsByTagName(tag.get(), &list)
                                  : m_document->getElementsByTagName(tag.get(), &list);
        if (FAILED(hr) || !list)
            return elements;
        ComPtr<IXMLDOMNode> node;
        while (list->nextNode(node.ReleaseAndGetAddressOf()) == S_OK && node) {
            ComPtr<IXMLDOMElement> element;
            // msxml2.h declares no __uuidof for its interfaces; libuuid has their IIDs.
            if (SUCCEEDED(node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.GetAddressOf()))))
                elements.push_back(element);
        }
        return elements;
    }

private:
    ComPtr<IXMLDOMDocument> m_document;
    bool m_loaded = false;
    std::string m_error;
};

// The attribute's text, or "(none)".
std::string Attribute(IXMLDOMElement* element, const char* name)
{
    UniqueVariant value;
    UniqueBstr attribute(SysAllocString(ToWide(name, CP_UTF8).c_str()));
    if (element->getAttribute(attribute.get(), value.put()) != S_OK || value.get()->vt != VT_BSTR)
        return "(none)";
    return Narrow(value.get()->bstrVal);
}

// The ids that "$(kind.id)" references name in the attributes of every element.
std::set<std::string> References(const XmlFile& file, const std::string& kind)
{
    std::set<std::string> ids;
    const std::string prefix = "$(" + kind + ".";
    for (const auto& element : file.Elements("*")) {
        for (const char* name : {"displayName", "explainText", "presentation"}) {
            const std::string value = Attribute(element.Get(), name);
            if (value.rfind(prefix, 0) == 0 && value.back() == ')')
                ids.insert(value.substr(prefix.size(), value.size() - prefix.size() - 1));
        }
    }
    return ids;
}

// The element's text.
std::wstring Text(IXMLDOMElement* element)
{
    UniqueBstr text;
    if (element->get_text(text.put()) != S_OK || !text.get())
        return std::wstring();
    return std::wstring(text.get(), SysStringLen(text.get()));
}

std::set<std::string> Ids(const XmlFile& file, const char* element)
{
    std::set<std::string> ids;
    for (const auto& entry : file.Elements(element))
        ids.insert(Attribute(entry.Get(), "id"));
    return ids;
}

class PolicyTemplateTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(m_com.result())); }
    CoInitializeGuard m_com;
};

// The one element of that name below parent, or null (with a failure) when there is not exactly one.
ComPtr<IXMLDOMElement> Only(const XmlFile& file, IXMLDOMElement* parent, const char* name)
{
    const auto elements = file.ElementsBelow(parent, name);
    EXPECT_EQ(elements.size(), 1u) << name;
    if (elements.size() != 1)
        return nullptr;
    return elements.front();
}

TEST_F(PolicyTemplateTest, EveryPolicyEnforcesASettingWhereTheAddinReadsIt)
{
    XmlFile admx(BuildFilePath("deploy\\Vantrel.admx"));
    ASSERT_TRUE(admx.loaded()) << admx.parseError();
    // Nothing in the template writes anywhere else: not the machine defaults under
    // SOFTWARE\Vantrel, which are the package's.
    for (const auto& element : admx.Elements("*")) {
        const std::string key = Attribute(element.Get(), "key");
        if (key != "(none)") {
            EXPECT_EQ(key, kPolicyKey) << "every key the template names";
        }
    }
    std::set<std::string> written;
    for (const auto& policy : admx.Elements("policy")) {
        const std::string name = Attribute(policy.Get(), "name");
        SCOPED_TRACE("policy " + name);
        EXPECT_EQ(Attribute(policy.Get(), "class"), "Both") << "for computers and for users";
        EXPECT_EQ(Attribute(policy.Get(), "key"), kPolicyKey);
        for (const char* other : {"boolean", "text", "enum", "list", "multiText", "string", "longDecimal"})
            EXPECT_TRUE(admx.ElementsBelow(policy.Get(), other).empty()) << other << ": the add-in reads numbers";
        const std::string valueName = Attribute(policy.Get(), "valueName");
        if (valueName != "(none)") {
            // An on/off policy: 1 and 0 as REG_DWORD.
            written.insert(valueName);
            EXPECT_EQ(kSettings.count(valueName), 1u) << valueName;
            for (const char* state : {"enabledValue", "disabledValue"}) {
                const ComPtr<IXMLDOMElement> value = Only(admx, policy.Get(), state);
                const ComPtr<IXMLDOMElement> number = value ? Only(admx, value.Get(), "decimal") : nullptr;
                if (number) {
                    EXPECT_EQ(Attribute(number.Get(), "value"), state == std::string("enabledValue") ? "1" : "0");
                }
            }
            EXPECT_TRUE(admx.ElementsBelow(policy.Get(), "elements").empty());
            continue;
        }
        // A number policy: its decimal element is a REG_DWORD of the setting, in the range the
        // page and the worker take, and Disabled deletes it.
        const auto elements = Only(admx, policy.Get(), "elements");
        ASSERT_NE(elements.Get(), nullptr);
        const auto decimal = Only(admx, elements.Get(), "decimal");
        ASSERT_NE(decimal.Get(), nullptr);
        const std::string decimalValue = Attribute(decimal.Get(), "valueName");
        written.insert(decimalValue);
        EXPECT_EQ(kSettings.count(decimalValue), 1u) << decimalValue;
        EXPECT_NE(Attribute(decimal.Get(), "storeAsText"), "true") << "Group Policy's numbers are REG_DWORD";
        EXPECT_EQ(Attribute(decimal.Get(), "minValue"), "0");
        EXPECT_EQ(Attribute(decimal.Get(), "maxValue"), "3600");
        EXPECT_TRUE(admx.ElementsBelow(policy.Get(), "disabledValue").empty());
        const auto disabled = Only(admx, policy.Get(), "disabledList");
        ASSERT_NE(disabled.Get(), nullptr);
        const auto item = Only(admx, disabled.Get(), "item");
        ASSERT_NE(item.Get(), nullptr);
        EXPECT_EQ(Attribute(item.Get(), "valueName"), decimalValue);
        EXPECT_EQ(admx.ElementsBelow(item.Get(), "delete").size(), 1u) << "Disabled removes the enforced value";
    }
    EXPECT_EQ(written, kSettings) << "each setting has its policy";
}

// Each language's number boxes offer a default inside the range of the number they fill.
TEST_F(PolicyTemplateTest, NumberBoxesDefaultInsideTheirRange)
{
    XmlFile admx(BuildFilePath("deploy\\Vantrel.admx"));
    ASSERT_TRUE(admx.loaded()) << admx.parseError();
    std::map<std::string, std::pair<int, int>> ranges;
    for (const auto& decimal : admx.Elements("decimal")) {
        if (Attribute(decimal.Get(), "id") != "(none)")
            ranges[Attribute(decimal.Get(), "id")] = {std::stoi(Attribute(decimal.Get(), "minValue")),
                                                      std::stoi(Attribute(decimal.Get(), "maxValue"))};
    }
    for (const char* culture : kCultures) {
        SCOPED_TRACE(culture);
        XmlFile adml(AdmlPath(culture));
        ASSERT_TRUE(adml.loaded()) << adml.parseError();
        std::set<std::string> boxes;
        for (const auto& box : adml.Elements("decimalTextBox")) {
            const std::string refId = Attribute(box.Get(), "refId");
            boxes.insert(refId);
            ASSERT_EQ(ranges.count(refId), 1u) << refId << " fills no number of the template";
            const int defaultValue = std::stoi(Attribute(box.Get(), "defaultValue"));
            EXPECT_GE(defaultValue, ranges[refId].first) << refId;
            EXPECT_LE(defaultValue, ranges[refId].second) << refId;
        }
        EXPECT_EQ(boxes, (std::set<std::string>{"Delay", kWaitForWrites}));
    }
}

TEST_F(PolicyTemplateTest, LanguageFileHoldsEveryTextAndPresentation)
{
    XmlFile admx(BuildFilePath("deploy\\Vantrel.admx"));
    XmlFile adml(AdmlPath("en-US"));
    ASSERT_TRUE(admx.loaded()) << admx.parseError();
    ASSERT_TRUE(adml.loaded()) << adml.parseError();
    const std::set<std::string> strings = Ids(adml, "string");
    for (const std::string& id : References(admx, "string"))
        EXPECT_EQ(strings.count(id), 1u) << "string " << id;
    const std::set<std::string> presentations = Ids(adml, "presentation");
    for (const std::string& id : References(admx, "presentation"))
        EXPECT_EQ(presentations.count(id), 1u) << "presentation " << id;
    EXPECT_FALSE(References(admx, "string").empty());
}

// The policy for the longest wait on Outlook's writes: a number from 0 to 3600 under the policy
// key, Disabled enforcing nothing, with the English texts administrators were given.
TEST_F(PolicyTemplateTest, WaitForWritesIsANumberPolicyWithItsTexts)
{
    XmlFile admx(BuildFilePath("deploy\\Vantrel.admx"));
    XmlFile adml(AdmlPath("en-US"));
    ASSERT_TRUE(admx.loaded()) << admx.parseError();
    ASSERT_TRUE(adml.loaded()) << adml.parseError();
    ComPtr<IXMLDOMElement> policy;
    for (const auto& candidate : admx.Elements("policy")) {
        if (Attribute(candidate.Get(), "name") == kWaitForWrites)
            policy = candidate;
    }
    ASSERT_NE(policy.Get(), nullptr) << "no policy WaitForWrites";
    EXPECT_EQ(Attribute(policy.Get(), "class"), "Both");
    EXPECT_EQ(Attribute(policy.Get(), "key"), kPolicyKey);
    EXPECT_EQ(Attribute(policy.Get(), "valueName"), "(none)") << "the number is the value, not an on/off";
    EXPECT_EQ(Attribute(policy.Get(), "displayName"), "$(string.WaitForWrites)");
    EXPECT_EQ(Attribute(policy.Get(), "explainText"), "$(string.WaitForWrites_Help)");
    EXPECT_EQ(Attribute(policy.Get(), "presentation"), "$(presentation.WaitForWrites)");
    const auto category = Only(admx, policy.Get(), "parentCategory");
    ASSERT_NE(category.Get(), nullptr);
    EXPECT_EQ(Attribute(category.Get(), "ref"), "Vantrel");
    const auto elements = Only(admx, policy.Get(), "elements");
    ASSERT_NE(elements.Get(), nullptr);
    const auto decimal = Only(admx, elements.Get(), "decimal");
    ASSERT_NE(decimal.Get(), nullptr);
    EXPECT_EQ(Attribute(decimal.Get(), "id"), kWaitForWrites);
    EXPECT_EQ(Attribute(decimal.Get(), "valueName"), kWaitForWrites);
    EXPECT_EQ(Attribute(decimal.Get(), "minValue"), "0");
    EXPECT_EQ(Attribute(decimal.Get(), "maxValue"), "3600");
    EXPECT_EQ(Attribute(decimal.Get(), "required"), "true");
    EXPECT_NE(Attribute(decimal.Get(), "storeAsText"), "true");

    std::map<std::string, std::wstring> strings;
    for (const auto& text : adml.Elements("string"))
        strings[Attribute(text.Get(), "id")] = Text(text.Get());
    EXPECT_EQ(strings["WaitForWrites"], L"Longest wait for Outlook to finish writing its data files");
    EXPECT_EQ(strings["WaitForWrites_Help"],
              L"Enabled: when the wait set in \"Maximum time to wait for Outlook to shut down (seconds)\" (Delay) is "
              L"over and Outlook is still running, Vantrel ends Outlook's "
              L"process only once neither Outlook's data files (.pst, .ost) nor the count of bytes that Outlook's "
              L"process writes have shown writing for two samples a second apart, the last of them at least a "
              L"second after Outlook's windows were asked to close, or once this many seconds (0 to 3600) have "
              L"passed since then. 0 switches the hold off. Not configured: "
              L"the user's own value, else the machine's, else 60 seconds.");
    EXPECT_EQ(strings["WaitForWrites_Label"], L"Seconds (0 to 3600):");
    ComPtr<IXMLDOMElement> presentation;
    for (const auto& candidate : adml.Elements("presentation")) {
        if (Attribute(candidate.Get(), "id") == kWaitForWrites)
            presentation = candidate;
    }
    ASSERT_NE(presentation.Get(), nullptr) << "no presentation WaitForWrites";
    const auto box = Only(adml, presentation.Get(), "decimalTextBox");
    ASSERT_NE(box.Get(), nullptr);
    EXPECT_EQ(Attribute(box.Get(), "refId"), kWaitForWrites);
    EXPECT_EQ(Text(box.Get()), strings["WaitForWrites_Label"]);
}

// Each language's file is the English one translated: of the template's revision, with the same
// string ids, the same presentations with the same boxes, every text filled in and different from the English where it is prose, and
// Office's own word for Outlook's Options where the texts name the "Shutdown" page. A text read
// back as UTF-16 from the UTF-8 file is compared with a UTF-16 literal.
TEST_F(PolicyTemplateTest, EveryLanguageFileHasEveryTextAndPresentationOfEnglish)
{
    const std::map<std::string, const wchar_t*> options = {
        {"en-US", L"Outlook's Options"},      {"de-DE", L"Outlook-Optionen"},
        {"fr-FR", L"Options d'Outlook"},      {"es-ES", L"Opciones de Outlook"},
        {"it-IT", L"Opzioni di Outlook"},     {"pt-BR", L"Op\u00e7\u00f5es do Outlook"},
        {"ja-JP", L"Outlook \u306e [\u30aa\u30d7\u30b7\u30e7\u30f3]"},
        {"zh-CN", L"Outlook\u201c\u9009\u9879\u201d"},
    };
    ASSERT_EQ(options.size(), std::size(kCultures));
    // The editors refuse a language file older than the revision the template asks for, so that
    // one left from an earlier release shows as such.
    XmlFile admx(BuildFilePath("deploy\\Vantrel.admx"));
    ASSERT_TRUE(admx.loaded()) << admx.parseError();
    const auto resources = Only(admx, nullptr, "resources");
    ASSERT_NE(resources.Get(), nullptr);
    const std::string revision = Attribute(resources.Get(), "minRequiredRevision");
    XmlFile english(AdmlPath("en-US"));
    ASSERT_TRUE(english.loaded()) << english.parseError();
    std::map<std::string, std::wstring> englishStrings;
    for (const auto& text : english.Elements("string"))
        englishStrings[Attribute(text.Get(), "id")] = Text(text.Get());
    // A presentation as its id and the kinds and refIds of its boxes, in order.
    const auto presentations = [](const XmlFile& file) {
        std::map<std::string, std::vector<std::string>> all;
        for (const auto& presentation : file.Elements("presentation")) {
            std::vector<std::string>& boxes = all[Attribute(presentation.Get(), "id")];
            for (const auto& box : file.ElementsBelow(presentation.Get(), "*")) {
                UniqueBstr tag;
                (void)box->get_tagName(tag.put());
                boxes.push_back(Narrow(tag.get()) + " " + Attribute(box.Get(), "refId"));
            }
        }
        return all;
    };
    for (const char* culture : kCultures) {
        SCOPED_TRACE(culture);
        XmlFile adml(AdmlPath(culture));
        ASSERT_TRUE(adml.loaded()) << adml.parseError();
        const auto root = Only(adml, nullptr, "policyDefinitionResources");
        ASSERT_NE(root.Get(), nullptr);
        EXPECT_EQ(Attribute(root.Get(), "revision"), revision);
        std::map<std::string, std::wstring> strings;
        for (const auto& text : adml.Elements("string")) {
            const std::string id = Attribute(text.Get(), "id");
            EXPECT_EQ(strings.count(id), 0u) << "string " << id << " twice";
            strings[id] = Text(text.Get());
        }
        for (const auto& [id, text] : englishStrings) {
            SCOPED_TRACE("string " + id);
            if (strings.count(id) != 1) {
                ADD_FAILURE() << "missing"; // and the other languages are still checked
                continue;
            }
            EXPECT_FALSE(strings[id].empty());
            if (culture != std::string("en-US") && text.size() > 40) {
                EXPECT_NE(strings[id], text) << "not translated";
            }
            EXPECT_EQ(strings[id].find(L'\uFFFD'), std::wstring::npos) << "a character lost on the way";
        }
        EXPECT_EQ(strings.size(), englishStrings.size()) << "strings English does not have";
        EXPECT_EQ(presentations(adml), presentations(english));
        EXPECT_NE(strings["Vantrel_Help"].find(options.at(culture)), std::wstring::npos)
            << "Outlook's Options as Office names them";
    }
}

TEST_F(PolicyTemplateTest, MalformedXmlIsReported)
{
    // The checks above are only worth something if a broken file fails to load.
    ScopedTempDir temp;
    const std::string path = temp.file("broken.admx");
    std::ofstream(path) << "<policyDefinitions><policies></policyDefinitions>";
    XmlFile broken(path);
    EXPECT_FALSE(broken.loaded());
}

} // namespace
